// TSkImgPanel: a panel painted with a picture (at its own size, stretched or tiled), optionally
// over its parent's background, with an optional caption. Every paint goes through one
// off-screen image and a single copy, and the background erase is suppressed, so nothing flickers.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>

#include "controls/picture.h"

namespace clipsmith {

enum class TSkDrawStyle { suiNormal = 0, suiStretch = 1, suiTile = 2 };
// How a control sits in its parent; the panels read it only to decide what auto-size may change.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TSkCustomPanel : public QWidget {
 public:
  using TNotifyEvent = std::function<void(QWidget* sender)>;

  explicit TSkCustomPanel(QWidget* parent = nullptr);
  ~TSkCustomPanel() override;

  // The tile origins TilePicture uses for a picture of the given size over a client area (column
  // by column, each column top to bottom).
  static std::vector<QPoint> TilePositions(int picWidth, int picHeight, int clientWidth, int clientHeight);

  QRect LastDrawCaptionRect() const { return m_LastDrawCaptionRect; }
  int CaptionPosX() const { return m_CaptionPosX; }
  int CaptionPosY() const { return m_CaptionPosY; }
  void SetCaptionPos(int x, int y);

  TNotifyEvent OnResize;
  TNotifyEvent OnClick;

 protected:
  // Published by TSkImgPanel.
  TPicture& Picture() { return m_Picture; }
  void SetPicture(const TPicture& value);
  bool Transparent() const { return m_Transparent; }
  virtual void SetTransparent(bool value);
  bool AutoSize() const { return m_AutoSize; }
  void SetAutoSize(bool value);
  TSkDrawStyle DrawStyle() const { return m_DrawStyle; }
  void SetDrawStyle(TSkDrawStyle value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value) { FAlign = value; }

  virtual void FillClientArea();
  virtual void NoteCaptionArea(const QRect& rect);
  virtual void PictureUpdated(TPicture* sender);
  virtual void Paint(QPainter& canvas);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

  TPicture m_Picture;
  bool m_Transparent = false;
  bool m_AutoSize = false;
  int m_CaptionPosX = -1;
  int m_CaptionPosY = -1;
  TSkDrawStyle m_DrawStyle = TSkDrawStyle::suiNormal;
  bool m_EraseBackground = false;
  QRect m_LastDrawCaptionRect;

 private:
  void PaintParentBackground(QImage& target);
  void TilePicture(QPainter& canvas, const QRect& rect);
  void FitToPicture();
  void SyncGraphicTransparency();

  TAlignment FAlignment = TAlignment::taCenter;
  QString FCaption;
  TColor FColor;
  TAlign FAlign = TAlign::alNone;
};

class TSkImgPanel : public TSkCustomPanel {
 public:
  using TSkCustomPanel::TSkCustomPanel;

  using TSkCustomPanel::Picture;
  using TSkCustomPanel::SetPicture;
  using TSkCustomPanel::Transparent;
  using TSkCustomPanel::SetTransparent;
  using TSkCustomPanel::AutoSize;
  using TSkCustomPanel::SetAutoSize;
  using TSkCustomPanel::DrawStyle;
  using TSkCustomPanel::SetDrawStyle;
  using TSkCustomPanel::Alignment;
  using TSkCustomPanel::SetAlignment;
  using TSkCustomPanel::Caption;
  using TSkCustomPanel::SetCaption;
  using TSkCustomPanel::Color;
  using TSkCustomPanel::SetColor;
  using TSkCustomPanel::Align;
  using TSkCustomPanel::SetAlign;
};

}  // namespace clipsmith
