// SPDX-License-Identifier: GPL-3.0-or-later
// The slot list's look: its pictures, the delegate that draws and edits its rows, and the
// picture previews shown in its tooltips.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStyledItemDelegate>
#include <optional>
#include <string_view>

#include "core/image.h"
#include "core/slots.h"

namespace carillon::ui {

class TForm1;

inline constexpr int kRowHeight = 17;
inline constexpr int kIconSize = 16;
inline constexpr int kIconGap = 1;  // between the kind picture and the found picture
inline constexpr int kColumnCaption = 0;
inline constexpr int kColumnSize = 1;
inline constexpr int kColumnAddress = 3;
inline constexpr int kColumnFilename = 4;

enum SlotListRoles { kKindRole = Qt::UserRole, kSmallImageRole };

// UTF-8 text of the core as a QString.
QString Text(std::string_view text);

// The pictures live in the UI library's resources, which must be registered by hand.
void InitialisePictures();
// Renders one of the window's own pictures at `size`.
QPixmap Picture(const QString& name, QSize size);
QPixmap KindPicture(SlotKind kind);
// 0: found, 1: not found.
QPixmap SmallPicture(int image);

// Rows of fixed height with grid lines; caption editing limited to 11 characters for the
// standard melodies while typing, and passed through ListView1Edited on confirmation.
class SlotListDelegate : public QStyledItemDelegate {
  public:
    explicit SlotListDelegate(TForm1* form);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  private:
    // The caption cell with narrow margins, so that the two pictures and the longest caption
    // ("User Animation 1") fit into the fixed 130 pixels.
    void PaintCaption(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const;

    TForm1* form_;
};

// What the header of a ".bmp" file states: width, height and bits per pixel.
struct BmpHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bitsPerPixel = 0;
};
// The header of a ".bmp" file's bytes, or nothing when they are too short or not "BM".
std::optional<BmpHeader> ReadBmpHeader(ByteView bytes);

// A tooltip that shows `picture` enlarged without smoothing (whole pixels only), above `text`.
QString PictureTooltip(const QImage& picture, const QString& text);

}  // namespace carillon::ui
