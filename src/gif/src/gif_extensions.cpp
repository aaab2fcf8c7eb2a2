#include "gif/gif_extensions.h"

#include <algorithm>
#include <cstring>

namespace clipsmith {

// ---- helpers ----

void ReadExact(TStream& stream, void* buffer, std::size_t count) {
  if (count != 0 && stream.Read(buffer, count) != count) throw GIFException(gifmsg::sOutOfData);
}

namespace {

// Text blocks use one fixed single-byte code page both ways: ISO 8859-1, so every byte reads back
// as itself. Characters outside it are written as '?'.
std::string Utf8ToLatin1(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    auto c = std::uint8_t(s[i]);
    std::uint32_t cp;
    int len;
    if (c < 0x80) cp = c, len = 1;
    else if ((c >> 5) == 6) cp = c & 0x1F, len = 2;
    else if ((c >> 4) == 14) cp = c & 0x0F, len = 3;
    else if ((c >> 3) == 30) cp = c & 0x07, len = 4;
    else { out += '?'; ++i; continue; }
    if (i + std::size_t(len) > s.size()) { out += '?'; break; }
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (std::uint8_t(s[i + std::size_t(k)]) & 0x3F);
    out += cp < 256 ? char(cp) : '?';
    i += std::size_t(len);
  }
  return out;
}

std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (char ch : s) {
    auto c = std::uint8_t(ch);
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

void WriteTextSubBlocks(TStream& stream, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  text = Utf8ToLatin1(text);
  for (std::size_t pos = 0; pos < text.size();) {
    auto n = std::uint8_t(std::min<std::size_t>(255, text.size() - pos));
    stream.WriteByte(n);
    stream.WriteBuffer(text.data() + pos, n);
    pos += n;
  }
  stream.WriteByte(0);
}

void ReadTextSubBlocks(TStream& stream, std::vector<std::string>& lines) {
  lines.clear();
  std::string bytes;
  std::uint8_t n;
  while (stream.Read(&n, 1) == 1 && n != 0) {
    char buf[255];
    ReadExact(stream, buf, n);
    bytes.append(buf, n);
  }
  std::string text = Latin1ToUtf8(bytes);
  // Lines end at CR LF, CR or LF; a final break does not start another line.
  std::string line;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(line);
}

// ---- registries ----

const TGIFExtensionClass* TExtensionList::FindExt(std::uint8_t label) const {
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
    if (it->Label == label) return it->Class;
  return nullptr;
}

void TExtensionList::Remove(const TGIFExtensionClass* cls) {
  std::erase_if(FEntries, [&](const Entry& e) { return e.Class == cls; });
}

const TGIFExtensionClass* TAppExtensionList::FindExt(const TGIFApplicationRec& ident) const {
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
    if (std::memcmp(&it->Ident, &ident, sizeof ident) == 0) return it->Class;
  return nullptr;
}

void TAppExtensionList::Remove(const TGIFExtensionClass* cls) {
  std::erase_if(FEntries, [&](const Entry& e) { return e.Class == cls; });
}

namespace {

TGIFApplicationRec MakeIdent(const char* eleven) {
  TGIFApplicationRec r;
  std::memcpy(&r, eleven, 11);
  return r;
}

}  // namespace

TExtensionList& ExtensionList() {
  static TExtensionList list = [] {
    TExtensionList l;
    l.Add(0x01, &TGIFTextExtension::Class());
    l.Add(0xF9, &TGIFGraphicControlExtension::Class());
    l.Add(0xFE, &TGIFCommentExtension::Class());
    l.Add(0xFF, &TGIFApplicationExtension::Class());
    return l;
  }();
  return list;
}

TAppExtensionList& AppExtensionList() {
  static TAppExtensionList list = [] {
    TAppExtensionList l;
    l.Add(MakeIdent("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class());
    l.Add(MakeIdent("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class());
    return l;
  }();
  return list;
}

// ---- TGIFExtension ----

TGIFExtension::TGIFExtension(TGIFFrame* frame) : TGIFItem(frame->Image()), FFrame(frame) {}

TGIFExtension::~TGIFExtension() {
  if (FFrame) FFrame->Extensions().Extract(this);
}

void TGIFExtension::SaveToStream(TStream& stream) {
  const std::uint8_t head[2] = {0x21, ExtensionType()};
  stream.WriteBuffer(head, 2);
}

void TGIFExtension::LoadFromStream(TStream& stream) {
  std::uint8_t head[2];
  ReadExact(stream, head, 2);
  if (head[0] != 0x21) throw GIFException(gifmsg::sBadExtensionLabel);
  if (head[1] != ExtensionType()) throw GIFException(gifmsg::sBadExtensionInstance);
}

void TGIFExtension::Assign(TGIFExtension& source) {
  if (&source == this) return;
  TMemoryStream memory;
  source.SaveToStream(memory);
  memory.SetPosition(0);
  LoadFromStream(memory);
}

void TGIFExtension::RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls) {
  ExtensionList().Add(label, cls);
}

const TGIFExtensionClass* TGIFExtension::FindExtension(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t label;
  if (stream.Read(&label, 1) != 1) return nullptr;
  const TGIFExtensionClass* cls = ExtensionList().FindExt(label);
  // Each answer is asked again until a class answers for itself. Every answer that is not the
  // asker's own consumed at least ten bytes, so the stream's end bounds the chain.
  while (cls) {
    const TGIFExtensionClass* next = cls->FindSubExtension ? cls->FindSubExtension(cls, stream) : cls;
    if (next == cls) break;
    cls = next;
  }
  stream.SetPosition(start);
  return cls;
}

// ---- TGIFGraphicControlExtension ----

const TGIFExtensionClass& TGIFGraphicControlExtension::Class() {
  static const TGIFExtensionClass c{"TGIFGraphicControlExtension",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFGraphicControlExtension>(f); },
                                    nullptr};
  return c;
}

void TGIFGraphicControlExtension::AfterConstruction() {
  if (!FFrame->FGCE)
    FFrame->FGCE = this;
  else
    Warning(TGIFSeverity::gsWarning, gifmsg::sMultipleGCE);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (FFrame && FFrame->FGCE == this) FFrame->FGCE = nullptr;
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
  TGIFExtension::SaveToStream(stream);
  stream.WriteBuffer(&FGCExtension, sizeof FGCExtension);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
  TGIFExtension::LoadFromStream(stream);
  if (stream.Read(&FGCExtension, sizeof FGCExtension) != sizeof FGCExtension)
    Warning(TGIFSeverity::gsWarning, gifmsg::sOutOfData);
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
  if (value) {
    FGCExtension.PackedFields |= bmTransparent;
    SetTransparentColorIndex(FGCExtension.TransparentColorIndex);
  } else {
    FGCExtension.PackedFields &= std::uint8_t(~bmTransparent);
  }
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int value) {
  TGIFColorMap& map = FFrame->ActiveColorMap();
  if (map.Count() > 0 && value >= map.Count()) {
    if (value == map.Count() && map.Count() < 256) {
      map.Add(clBlack);
      Warning(TGIFSeverity::gsWarning, gifmsg::sBadColorIndexExpanded);
    } else {
      Warning(TGIFSeverity::gsWarning, gifmsg::sBadColorIndex);
      value = 0;
    }
  }
  FGCExtension.TransparentColorIndex = std::uint8_t(value);
}

TColor TGIFGraphicControlExtension::TransparentColor() {
  return FFrame->ActiveColorMap().GetColor(TransparentColorIndex());
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor color) {
  FGCExtension.TransparentColorIndex = std::uint8_t(FFrame->ActiveColorMap().AddUnique(color));
}

void TGIFGraphicControlExtension::SetUserInput(bool value) {
  if (value)
    FGCExtension.PackedFields |= bmUserInput;
  else
    FGCExtension.PackedFields &= std::uint8_t(~bmUserInput);
}

void TGIFGraphicControlExtension::SetDisposal(TDisposalMethod value) {
  FGCExtension.PackedFields =
      std::uint8_t((FGCExtension.PackedFields & ~bmDisposal) | ((std::uint8_t(value) & 7) << idDisposal));
}

// ---- TGIFTextExtension ----

const TGIFExtensionClass& TGIFTextExtension::Class() {
  static const TGIFExtensionClass c{"TGIFTextExtension",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFTextExtension>(f); },
                                    nullptr};
  return c;
}

TColor TGIFTextExtension::ForegroundColor() { return FFrame->ColorMap().GetColor(ForegroundColorIndex()); }
TColor TGIFTextExtension::BackgroundColor() { return FFrame->ActiveColorMap().GetColor(BackgroundColorIndex()); }

void TGIFTextExtension::SaveToStream(TStream& stream) {
  TGIFExtension::SaveToStream(stream);
  stream.WriteBuffer(&FPlainTextExtension, sizeof FPlainTextExtension);
  WriteTextSubBlocks(stream, FText);
}

void TGIFTextExtension::LoadFromStream(TStream& stream) {
  TGIFExtension::LoadFromStream(stream);
  ReadExact(stream, &FPlainTextExtension, sizeof FPlainTextExtension);
  ReadTextSubBlocks(stream, FText);
}

// ---- TGIFCommentExtension ----

const TGIFExtensionClass& TGIFCommentExtension::Class() {
  static const TGIFExtensionClass c{"TGIFCommentExtension",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFCommentExtension>(f); },
                                    nullptr};
  return c;
}

void TGIFCommentExtension::SaveToStream(TStream& stream) {
  TGIFExtension::SaveToStream(stream);
  WriteTextSubBlocks(stream, FText);
}

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
  TGIFExtension::LoadFromStream(stream);
  ReadTextSubBlocks(stream, FText);
}

// ---- TGIFApplicationExtension ----

const TGIFExtensionClass& TGIFApplicationExtension::Class() {
  // The generic application block has no body of its own to read. It is the answer only for an
  // identification block of an unusual size (neither 10 nor 11); such a block is kept as an
  // unknown application block, which reads any size from 10 up and refuses shorter ones.
  static const TGIFExtensionClass c{"TGIFApplicationExtension",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFUnknownAppExtension>(f); },
                                    &TGIFApplicationExtension::FindSubExtension};
  return c;
}

namespace {

std::string FieldText(const char* p, std::size_t n) {
  std::size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return Latin1ToUtf8(std::string(p, len));
}

void SetField(char* p, std::size_t n, const std::string& value) {
  std::string bytes = Utf8ToLatin1(value);
  std::size_t i = 0;
  for (; i < n && i < bytes.size() && bytes[i] != 0; ++i) p[i] = bytes[i];
  for (; i < n; ++i) p[i] = ' ';
}

}  // namespace

std::string TGIFApplicationExtension::Identifier() const { return FieldText(FIdent.Identifier.data(), 8); }
void TGIFApplicationExtension::SetIdentifier(const std::string& v) { SetField(FIdent.Identifier.data(), 8, v); }
std::string TGIFApplicationExtension::Authentication() const { return FieldText(FIdent.Authentication.data(), 3); }
void TGIFApplicationExtension::SetAuthentication(const std::string& v) { SetField(FIdent.Authentication.data(), 3, v); }

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
  TGIFExtension::SaveToStream(stream);
  stream.WriteByte(FIdentSize);
  stream.WriteBuffer(&FIdent, std::min<std::size_t>(FIdentSize, sizeof FIdent));
  if (FIdentSize > sizeof FIdent) stream.WriteBuffer(FIdentExtra.data(), FIdentExtra.size());
  SaveSubBlocks(stream);
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
  TGIFExtension::LoadFromStream(stream);
  std::uint8_t n;
  ReadExact(stream, &n, 1);
  if (n < 10) throw GIFException(gifmsg::sBadBlockSize);
  ReadExact(stream, &FIdent, sizeof FIdent);
  FIdentSize = n;
  FIdentExtra.clear();
  if (n == 10) {
    // A 10-byte block continues right after its ten bytes.
    stream.Seek(-1, TSeekOrigin::soCurrent);
  } else if (n > 11) {
    // The excess of a longer block is kept (as far as the stream has it) to be written back.
    FIdentExtra.resize(std::size_t(n) - 11);
    FIdentExtra.resize(stream.Read(FIdentExtra.data(), FIdentExtra.size()));
    FIdentSize = std::uint8_t(11 + FIdentExtra.size());
  }
  LoadSubBlocks(stream);
}

void TGIFApplicationExtension::RegisterExtension(const TGIFApplicationRec& ident, const TGIFExtensionClass* cls) {
  AppExtensionList().Add(ident, cls);
}

const TGIFExtensionClass* TGIFApplicationExtension::FindSubExtension(const TGIFExtensionClass* self, TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t n;
  if (stream.Read(&n, 1) != 1) return nullptr;
  if (n == 10) {
    std::uint8_t ten[10];
    return stream.Read(ten, 10) == 10 ? &TGIFUnknownAppExtension::Class() : nullptr;
  }
  TGIFApplicationRec ident;
  if (n == 11 && stream.Read(&ident, 11) == 11) {
    const TGIFExtensionClass* found = AppExtensionList().FindExt(ident);
    return found ? found : &TGIFUnknownAppExtension::Class();
  }
  stream.SetPosition(start);
  return self;
}

// ---- TGIFBlock / TGIFUnknownAppExtension ----

void TGIFBlock::SaveToStream(TStream& stream) const {
  stream.WriteByte(std::uint8_t(FData.size()));
  stream.WriteBuffer(FData.data(), FData.size());
}

void TGIFBlock::LoadFromStream(TStream& stream) { ReadExact(stream, FData.data(), FData.size()); }

const TGIFExtensionClass& TGIFUnknownAppExtension::Class() {
  static const TGIFExtensionClass c{"TGIFUnknownAppExtension",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFUnknownAppExtension>(f); },
                                    &TGIFApplicationExtension::FindSubExtension};
  return c;
}

void TGIFUnknownAppExtension::SaveSubBlocks(TStream& stream) {
  for (const auto& b : FBlocks) b->SaveToStream(stream);
  stream.WriteByte(0);
}

void TGIFUnknownAppExtension::LoadSubBlocks(TStream& stream) {
  FBlocks.clear();
  std::uint8_t n;
  while (stream.Read(&n, 1) == 1 && n != 0) {
    auto block = std::make_unique<TGIFBlock>(n);
    block->LoadFromStream(stream);
    FBlocks.push_back(std::move(block));
  }
}

// ---- TGIFAppExtNSLoop ----

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFFrame* frame) : TGIFApplicationExtension(frame) {
  FIdent = MakeIdent("NETSCAPE2.0");
}

const TGIFExtensionClass& TGIFAppExtNSLoop::Class() {
  static const TGIFExtensionClass c{"TGIFAppExtNSLoop",
                                    [](TGIFFrame* f) -> TGIFExtension* { return Create<TGIFAppExtNSLoop>(f); },
                                    &TGIFApplicationExtension::FindSubExtension};
  return c;
}

void TGIFAppExtNSLoop::SaveSubBlocks(TStream& stream) {
  const std::uint8_t loop[4] = {3, 1, std::uint8_t(FLoops), std::uint8_t(FLoops >> 8)};
  stream.WriteBuffer(loop, 4);
  if (FBufferSize != 0) {
    const std::uint8_t buf[6] = {5, 2, std::uint8_t(FBufferSize), std::uint8_t(FBufferSize >> 8),
                                 std::uint8_t(FBufferSize >> 16), std::uint8_t(FBufferSize >> 24)};
    stream.WriteBuffer(buf, 6);
  }
  stream.WriteByte(0);
}

void TGIFAppExtNSLoop::LoadSubBlocks(TStream& stream) {
  std::uint8_t n;
  while (stream.Read(&n, 1) == 1 && n != 0) {
    std::uint8_t t;
    ReadExact(stream, &t, 1);
    if (t % 8 == 1) {
      if (n < 3) throw GIFException(gifmsg::sInvalidData);
      std::uint8_t v[2];
      ReadExact(stream, v, 2);
      FLoops = std::uint16_t(v[0] | (v[1] << 8));
      stream.Seek(std::int64_t(n) - 3, TSeekOrigin::soCurrent);
    } else if (t % 8 == 2) {
      if (n < 5) throw GIFException(gifmsg::sInvalidData);
      std::uint8_t v[4];
      ReadExact(stream, v, 4);
      FBufferSize = std::uint32_t(v[0]) | (std::uint32_t(v[1]) << 8) | (std::uint32_t(v[2]) << 16) |
                    (std::uint32_t(v[3]) << 24);
      stream.Seek(std::int64_t(n) - 5, TSeekOrigin::soCurrent);
    } else {
      stream.Seek(std::int64_t(n) - 1, TSeekOrigin::soCurrent);
    }
  }
}

}  // namespace clipsmith
