// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/slot_list.h"

#include <QApplication>
#include <QBuffer>
#include <QLineEdit>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolTip>
#include <QTreeWidget>
#include <array>

#include "patch/patch_request.h"
#include "ui/form1.h"

// Q_INIT_RESOURCE must stand outside any namespace.
static void RegisterPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace carillon::ui {

namespace {

// The preview is enlarged by whole pixels until its longer side reaches about this size.
constexpr int kPreviewSide = 128;

}  // namespace

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void InitialisePictures() {
    RegisterPictures();
}

QPixmap Picture(const QString& name, QSize size) {
    QSvgRenderer renderer(QStringLiteral(":/carillon/") + name);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QPixmap KindPicture(SlotKind kind) {
    static const std::array<const char*, 4> names = {"kind-melody.svg", "kind-user-melody.svg",
                                                     "kind-picture.svg", "kind-animation.svg"};
    return Picture(QString::fromLatin1(names[static_cast<int>(kind)]), {kIconSize, kIconSize});
}

QPixmap SmallPicture(int image) {
    return Picture(image == 0 ? QStringLiteral("found.svg") : QStringLiteral("notfound.svg"),
                   {kIconSize, kIconSize});
}

SlotListDelegate::SlotListDelegate(TForm1* form) : QStyledItemDelegate(form), form_(form) {}

QSize SlotListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
}

void SlotListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    if (index.column() == kColumnCaption) {
        PaintCaption(painter, option, index);
    } else {
        QStyledItemDelegate::paint(painter, option, index);
    }
    painter->save();
    painter->setPen(option.palette.color(QPalette::Midlight).darker(115));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
}

void SlotListDelegate::PaintCaption(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    const QIcon icon = opt.icon;
    opt.text.clear();
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect cell = option.rect;
    const QSize iconSize(2 * kIconSize + kIconGap, kIconSize);
    painter->drawPixmap(cell.left() + 2, cell.top() + (cell.height() - kIconSize) / 2,
                        icon.pixmap(iconSize));
    const QRect textRect = cell.adjusted(2 + iconSize.width() + 3, 0, -1, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                      opt.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
    painter->restore();
}

QWidget* SlotListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    if (index.column() != kColumnCaption) {
        return nullptr;
    }
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    if (IsStandardMelodyRow(index.row())) {
        editor->setMaxLength(static_cast<int>(kNameLength));
        // While typing: the name as the phone will hold it, when that differs.
        QObject::connect(editor, &QLineEdit::textEdited, editor, [editor](const QString& typed) {
            const QString hint = TForm1::CleanedNameHint(typed);
            editor->setToolTip(hint);
            if (hint.isEmpty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(editor->mapToGlobal(QPoint(0, editor->height())), hint, editor);
            }
        });
    }
    return editor;
}

void SlotListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    auto* line = static_cast<QLineEdit*>(editor);
    QString text = line->text();
    form_->ListView1Edited(form_->ListView1->topLevelItem(index.row()), text);
    model->setData(index, text, Qt::EditRole);
}

std::optional<BmpHeader> ReadBmpHeader(ByteView bytes) {
    // "BM", file size, reserved, data offset, then the info header: its size, width, height,
    // planes and bits per pixel (a 12-byte core header holds 16-bit width and height).
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    const std::uint32_t infoSize = ReadU32(bytes, 14);
    BmpHeader header;
    if (infoSize == 12) {
        header.width = ReadU16(bytes, 18);
        header.height = ReadU16(bytes, 20);
        header.bitsPerPixel = ReadU16(bytes, 24);
        return header;
    }
    if (bytes.size() < 30) {
        return std::nullopt;
    }
    header.width = static_cast<std::int32_t>(ReadU32(bytes, 18));
    header.height = static_cast<std::int32_t>(ReadU32(bytes, 22));
    header.bitsPerPixel = ReadU16(bytes, 28);
    return header;
}

QString PictureTooltip(const QImage& picture, const QString& text) {
    const int side = std::max(picture.width(), picture.height());
    const int factor = side > 0 ? std::max(1, kPreviewSide / side) : 1;
    const QImage shown = picture.scaled(picture.width() * factor, picture.height() * factor,
                                        Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    shown.save(&buffer, "PNG");
    return QStringLiteral("<p><img src=\"data:image/png;base64,%1\"></p><p>%2</p>")
        .arg(QString::fromLatin1(png.toBase64()), text.toHtmlEscaped());
}

}  // namespace carillon::ui
