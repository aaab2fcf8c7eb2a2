#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "gifbuild/html_preview.h"

namespace clipsmith {

namespace {

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// A separator in the locale's own character set, as UTF-8 for the page; empty when it cannot be
// converted.
std::string ToUtf8(const std::string& text, const std::string& codeset) {
  if (IsAscii(text) || codeset == "UTF-8") return text;
  iconv_t cd = iconv_open("UTF-8", codeset.c_str());
  if (cd == iconv_t(-1)) return {};
  std::string in = text;
  std::string out(in.size() * 4 + 4, '\0');
  char* inp = in.data();
  char* outp = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  std::size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (rc == std::size_t(-1) || inLeft != 0) return {};
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

TNumberSeparators UserNumberSeparators() {
  const TNumberSeparators english;
  std::string name;
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) {
      name = value;
      break;
    }
  }
  // The C locale states no preference of the user's; the program's own texts are English.
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return english;

  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, name.c_str(), locale_t(nullptr));
  if (!loc) return english;
  std::string codeset = nl_langinfo_l(CODESET, loc);
  std::string decimal = nl_langinfo_l(RADIXCHAR, loc);
  std::string thousands = nl_langinfo_l(THOUSEP, loc);
  freelocale(loc);
  TNumberSeparators result;
  result.Decimal = ToUtf8(decimal, codeset);
  if (result.Decimal.empty()) result.Decimal = english.Decimal;
  // A locale may group without a separator; only one that cannot be shown is replaced.
  result.Thousands = ToUtf8(thousands, codeset);
  if (result.Thousands.empty() && !thousands.empty()) result.Thousands = english.Thousands;
  return result;
}

std::string FormatGIFSize(std::int64_t bytes, const TNumberSeparators& separators) {
  if (bytes < 0) bytes = 0;
  const std::uint64_t size = std::uint64_t(bytes);
  const std::uint64_t kilobytes = size / 1024;
  if (kilobytes < 1024) return std::to_string(kilobytes) + " KB";

  // Megabytes to two places, rounded half up, in integers so that no binary fraction decides.
  constexpr std::uint64_t MB = 1048576;
  std::uint64_t whole = size / MB;
  std::uint64_t hundredths = ((size % MB) * 100 + MB / 2) / MB;
  whole += hundredths / 100;
  hundredths %= 100;

  std::string digits = std::to_string(whole);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) grouped += separators.Thousands;
    grouped += digits[i];
  }
  // Two digits written as characters: inserting a leading zero into a short string makes GCC 12
  // at -O3 warn about an overlapping copy that cannot happen (its bug 105651).
  const char fraction[] = {char('0' + hundredths / 10), char('0' + hundredths % 10), '\0'};
  return grouped + separators.Decimal + fraction + " MB";
}

}  // namespace clipsmith
