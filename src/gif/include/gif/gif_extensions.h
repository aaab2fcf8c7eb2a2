// Extension blocks that precede a frame's image in the file, and the two registries that say
// which class reads a block with a given label or application identification.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_image.h"

namespace clipsmith {

class TGIFExtension;

// What the registries hold: the class itself, its virtual constructor and its class operation
// FindSubExtension.
struct TGIFExtensionClass {
  const char* Name;
  TGIFExtension* (*Create)(TGIFFrame* frame);
  const TGIFExtensionClass* (*FindSubExtension)(const TGIFExtensionClass* self, TStream& stream);
};

class TGIFExtension : public TGIFItem {
 public:
  ~TGIFExtension() override;
  TGIFExtension(const TGIFExtension&) = delete;
  TGIFExtension& operator=(const TGIFExtension&) = delete;

  // Constructs an extension of class E for the frame; it appends itself to frame->Extensions(),
  // which owns it.
  template <class E>
  static E* Create(TGIFFrame* frame) {
    auto made = std::unique_ptr<E>(new E(frame));
    E* raw = made.get();
    frame->Extensions().AddNew(made.release());
    raw->AfterConstruction();
    return raw;
  }

  virtual std::uint8_t ExtensionType() const = 0;
  virtual const TGIFExtensionClass& ClassType() const = 0;
  TGIFVersion Version() const override { return TGIFVersion::gv89a; }
  // Introducer and label; subclasses write their body after them.
  void SaveToStream(TStream& stream) override;
  // Checks introducer and label; subclasses read their body after them.
  void LoadFromStream(TStream& stream) override;
  // Writes the source to memory and reads it back.
  void Assign(TGIFExtension& source);
  TGIFFrame* Frame() const { return FFrame; }

  static void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls);
  // With the stream on a label byte: the class that reads the block, or null; the stream is left
  // where it was.
  static const TGIFExtensionClass* FindExtension(TStream& stream);

 protected:
  explicit TGIFExtension(TGIFFrame* frame);
  virtual void AfterConstruction() {}
  TGIFFrame* FFrame;
};

enum class TDisposalMethod : std::uint8_t { dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3 };

#pragma pack(push, 1)
struct TGIFGCERec {
  std::uint8_t BlockSize = 4;
  std::uint8_t PackedFields = 0;
  std::uint16_t DelayTime = 0;
  std::uint8_t TransparentColorIndex = 0;
  std::uint8_t Terminator = 0;
};
struct TGIFPlainTextExtensionRec {
  std::uint8_t BlockSize = 12;
  std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::uint8_t CellWidth = 0, CellHeight = 0;
  std::uint8_t TextFGColorIndex = 0, TextBGColorIndex = 0;
};
struct TGIFApplicationRec {
  std::array<char, 8> Identifier{};
  std::array<char, 3> Authentication{};
};
#pragma pack(pop)
static_assert(sizeof(TGIFGCERec) == 6);
static_assert(sizeof(TGIFPlainTextExtensionRec) == 13);
static_assert(sizeof(TGIFApplicationRec) == 11);

inline constexpr std::uint8_t bmTransparent = 0x01;
inline constexpr std::uint8_t bmUserInput = 0x02;
inline constexpr std::uint8_t bmDisposal = 0x1C;
inline constexpr int idDisposal = 2;

class TGIFGraphicControlExtension final : public TGIFExtension {
 public:
  ~TGIFGraphicControlExtension() override;
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  std::uint8_t ExtensionType() const override { return 0xF9; }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  int Delay() const { return FGCExtension.DelayTime; }
  void SetDelay(int value) { FGCExtension.DelayTime = std::uint16_t(value); }
  bool Transparent() const { return (FGCExtension.PackedFields & bmTransparent) != 0; }
  void SetTransparent(bool value);
  int TransparentColorIndex() const { return FGCExtension.TransparentColorIndex; }
  void SetTransparentColorIndex(int value);
  TColor TransparentColor();
  void SetTransparentColor(TColor color);
  bool UserInput() const { return (FGCExtension.PackedFields & bmUserInput) != 0; }
  void SetUserInput(bool value);
  TDisposalMethod Disposal() const { return TDisposalMethod((FGCExtension.PackedFields & bmDisposal) >> idDisposal); }
  void SetDisposal(TDisposalMethod value);

  TGIFGCERec FGCExtension;

 private:
  friend class TGIFExtension;
  explicit TGIFGraphicControlExtension(TGIFFrame* frame) : TGIFExtension(frame) {}
  void AfterConstruction() override;
};

class TGIFTextExtension final : public TGIFExtension {
 public:
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  std::uint8_t ExtensionType() const override { return 0x01; }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  int Left() const { return FPlainTextExtension.Left; }
  void SetLeft(int v) { FPlainTextExtension.Left = std::uint16_t(v); }
  int Top() const { return FPlainTextExtension.Top; }
  void SetTop(int v) { FPlainTextExtension.Top = std::uint16_t(v); }
  int GridWidth() const { return FPlainTextExtension.Width; }
  void SetGridWidth(int v) { FPlainTextExtension.Width = std::uint16_t(v); }
  int GridHeight() const { return FPlainTextExtension.Height; }
  void SetGridHeight(int v) { FPlainTextExtension.Height = std::uint16_t(v); }
  int CharWidth() const { return FPlainTextExtension.CellWidth; }
  void SetCharWidth(int v) { FPlainTextExtension.CellWidth = std::uint8_t(v); }
  int CharHeight() const { return FPlainTextExtension.CellHeight; }
  void SetCharHeight(int v) { FPlainTextExtension.CellHeight = std::uint8_t(v); }
  int ForegroundColorIndex() const { return FPlainTextExtension.TextFGColorIndex; }
  void SetForegroundColorIndex(int v) { FPlainTextExtension.TextFGColorIndex = std::uint8_t(v); }
  int BackgroundColorIndex() const { return FPlainTextExtension.TextBGColorIndex; }
  void SetBackgroundColorIndex(int v) { FPlainTextExtension.TextBGColorIndex = std::uint8_t(v); }
  TColor ForegroundColor();
  TColor BackgroundColor();
  std::vector<std::string>& Text() { return FText; }
  void SetText(const std::vector<std::string>& lines) { FText = lines; }

  TGIFPlainTextExtensionRec FPlainTextExtension;

 private:
  friend class TGIFExtension;
  explicit TGIFTextExtension(TGIFFrame* frame) : TGIFExtension(frame) {}
  std::vector<std::string> FText;
};

class TGIFCommentExtension final : public TGIFExtension {
 public:
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  std::uint8_t ExtensionType() const override { return 0xFE; }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
  std::vector<std::string>& Text() { return FText; }

 private:
  friend class TGIFExtension;
  explicit TGIFCommentExtension(TGIFFrame* frame) : TGIFExtension(frame) {}
  std::vector<std::string> FText;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  std::uint8_t ExtensionType() const override { return 0xFF; }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
  virtual void SaveSubBlocks(TStream& stream) = 0;
  virtual void LoadSubBlocks(TStream& stream) = 0;

  std::string Identifier() const;
  void SetIdentifier(const std::string& value);
  std::string Authentication() const;
  void SetAuthentication(const std::string& value);

  static void RegisterExtension(const TGIFApplicationRec& ident, const TGIFExtensionClass* cls);
  // The class operation of every application extension class.
  static const TGIFExtensionClass* FindSubExtension(const TGIFExtensionClass* self, TStream& stream);

  TGIFApplicationRec FIdent;
  // The size byte of the identification block as read (11 unless the file said otherwise) and
  // the bytes of a longer block after the eleven: an unknown block is written back as it came,
  // so a block that is not quite a looping block never turns into one.
  std::uint8_t FIdentSize = 11;
  std::vector<std::uint8_t> FIdentExtra;

 protected:
  explicit TGIFApplicationExtension(TGIFFrame* frame) : TGIFExtension(frame) {}
};

class TGIFBlock {
 public:
  explicit TGIFBlock(int size) : FData(std::size_t(size), 0) {}
  int Size() const { return int(FData.size()); }
  std::vector<std::uint8_t>& Data() { return FData; }
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

 private:
  std::vector<std::uint8_t> FData;
};

class TGIFUnknownAppExtension final : public TGIFApplicationExtension {
 public:
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  void SaveSubBlocks(TStream& stream) override;
  void LoadSubBlocks(TStream& stream) override;
  std::vector<std::unique_ptr<TGIFBlock>>& Blocks() { return FBlocks; }

 private:
  friend class TGIFExtension;
  explicit TGIFUnknownAppExtension(TGIFFrame* frame) : TGIFApplicationExtension(frame) {}
  std::vector<std::unique_ptr<TGIFBlock>> FBlocks;
};

class TGIFAppExtNSLoop final : public TGIFApplicationExtension {
 public:
  static const TGIFExtensionClass& Class();
  const TGIFExtensionClass& ClassType() const override { return Class(); }
  void SaveSubBlocks(TStream& stream) override;
  void LoadSubBlocks(TStream& stream) override;
  int Loops() const { return FLoops; }
  void SetLoops(int value) { FLoops = std::uint16_t(value); }
  std::uint32_t BufferSize() const { return FBufferSize; }
  void SetBufferSize(std::uint32_t value) { FBufferSize = value; }

 private:
  friend class TGIFExtension;
  explicit TGIFAppExtNSLoop(TGIFFrame* frame);
  std::uint16_t FLoops = 0;
  std::uint32_t FBufferSize = 0;
};

// The registries: ordered entries, searched from the last towards the first so that a later
// registration for the same key wins.
class TExtensionList {
 public:
  void Add(std::uint8_t label, const TGIFExtensionClass* cls) { FEntries.push_back({label, cls}); }
  const TGIFExtensionClass* FindExt(std::uint8_t label) const;
  void Remove(const TGIFExtensionClass* cls);

 private:
  struct Entry {
    std::uint8_t Label;
    const TGIFExtensionClass* Class;
  };
  std::vector<Entry> FEntries;
};

class TAppExtensionList {
 public:
  void Add(const TGIFApplicationRec& ident, const TGIFExtensionClass* cls) { FEntries.push_back({ident, cls}); }
  const TGIFExtensionClass* FindExt(const TGIFApplicationRec& ident) const;
  void Remove(const TGIFExtensionClass* cls);

 private:
  struct Entry {
    TGIFApplicationRec Ident;
    const TGIFExtensionClass* Class;
  };
  std::vector<Entry> FEntries;
};

TExtensionList& ExtensionList();
TAppExtensionList& AppExtensionList();

// Reads exactly count bytes or raises "Premature end of data".
void ReadExact(TStream& stream, void* buffer, std::size_t count);
void WriteTextSubBlocks(TStream& stream, const std::vector<std::string>& lines);
void ReadTextSubBlocks(TStream& stream, std::vector<std::string>& lines);

}  // namespace clipsmith
