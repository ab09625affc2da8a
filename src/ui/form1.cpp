#include "ui/form1.h"
#include "ui/translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QSvgRenderer>
#include <QTimer>
#include <QTreeWidget>
#include <exception>

#include "core/file_io.h"
#include "core/product.h"
#include "platform/vklay.h"

// The pictures live in this static library's resources, which must be registered by hand.
static void InitialisePictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace carillon::ui {

namespace {

constexpr int kRowHeight = 17;
constexpr int kIconSize = 16;
constexpr int kIconGap = 1;  // between the kind picture and the found picture
constexpr int kColumnCaption = 0;
constexpr int kColumnFilename = 4;
constexpr int kResizableColumnMax = 60;
constexpr std::array<int, 5> kColumnWidths = {130, 40, 40, 58, 137};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Renders one of the window's own pictures at its size.
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

// Removes leading and trailing blanks and control characters.
QString TrimControl(const QString& text) {
    auto removable = [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && removable(text[begin])) {
        ++begin;
    }
    while (end > begin && removable(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

enum Roles { kKindRole = Qt::UserRole, kSmallImageRole };

// Rows of fixed height with grid lines; caption editing limited to 11 characters for the
// standard melodies while typing, and passed through ListView1Edited on confirmation.
class SlotListDelegate : public QStyledItemDelegate {
  public:
    explicit SlotListDelegate(TForm1* form) : QStyledItemDelegate(form), form_(form) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
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

    // The caption cell with narrow margins, so that the two pictures and the longest
    // caption ("User Animation 1") fit into the fixed 130 pixels.
    void PaintCaption(QPainter* painter, const QStyleOptionViewItem& option,
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

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        if (index.column() != kColumnCaption) {
            return nullptr;
        }
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        if (index.row() < kStandardMelodyCount) {
            editor->setMaxLength(static_cast<int>(kNameLength));
        }
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* line = static_cast<QLineEdit*>(editor);
        QString text = line->text();
        form_->ListView1Edited(form_->ListView1->topLevelItem(index.row()), text);
        model->setData(index, text, Qt::EditRole);
    }

  private:
    TForm1* form_;
};

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

TForm1::TForm1(Dialogs& dialogs_, Platform& platform_, QWidget* parent)
    : QWidget(parent), dialogs(dialogs_), platform(platform_) {
    InitialisePictures();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Text(kWindowTitle));
    setWindowIcon(QIcon(Picture(QStringLiteral("icon.svg"), {64, 64})));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(665, 519);
    // The window's own font where it exists, else a narrow sans serif of the same width.
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"),
                      QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setAcceptDrops(true);

    BuildLeftColumn();
    BuildRightColumn();
    BuildHiddenControls();

    // Group captions are bold navy; what the groups hold keeps the window's plain font and
    // colours, set explicitly so that nothing is inherited from the group.
    QFont plain = font;
    plain.setBold(false);
    QFont bold = font;
    bold.setBold(true);
    QPalette colours = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            colours.setColor(group, role, colours.color(group, role));
        }
    }
    for (QGroupBox* group : findChildren<QGroupBox*>()) {
        for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->testAttribute(Qt::WA_SetFont)) {
                child->setFont(plain);
            }
            if (!child->testAttribute(Qt::WA_SetPalette)) {
                child->setPalette(colours);
            }
        }
        group->setFont(bold);
        QPalette navy = group->palette();
        navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
        navy.setColor(QPalette::Text, QColor(0, 0, 128));
        group->setPalette(navy);
    }
    QPalette grey = colours;  // the image path field is read-only
    grey.setColor(QPalette::Base, colours.color(QPalette::Window));
    Edit1->setPalette(grey);
    QPalette keep = colours;  // the selection stays visible without focus
    keep.setColor(QPalette::Inactive, QPalette::Highlight,
                  colours.color(QPalette::Active, QPalette::Highlight));
    keep.setColor(QPalette::Inactive, QPalette::HighlightedText,
                  colours.color(QPalette::Active, QPalette::HighlightedText));
    ListView1->setPalette(keep);

    OpenDialog1 = {tr("Open A52 Full Flash or EEPROM"),
                   tr("V_KLay Full Flash or EEPROM (*.bin)|*.bin|Freia Full Flash or "
                      "EEPROM (*.fls)|*.fls|Siemens EEPROM tool (*.eep)|*.eep|All "
                      "Files|*.*"),
                   {}};
    OpenDialog2 = {{}, {}, {}};
    OpenDialog3 = {{}, QStringLiteral("V_KLay|*.exe"), {}};

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::BuildLeftColumn() {
    constexpr int x = 8;
    constexpr int w = 161;

    GroupBox7 = Named(new QGroupBox(this), "GroupBox7");
    GroupBox7->setGeometry(x, 2, w, 114);
    Image3 = Named(new QLabel(GroupBox7), "Image3");
    Image3->setGeometry(8, 10, 145, 98);
    Image3->setPixmap(Picture(QStringLiteral("logo.svg"), {145, 98}));

    GroupBox1 = Named(new QGroupBox(tr("  Files  "), this), "GroupBox1");
    GroupBox1->setGeometry(x, 118, w, 212);
    Label3 = Named(new QLabel(tr("A52 Flash or EEPROM"), GroupBox1), "Label3");
    Label3->setGeometry(8, 18, 145, 14);
    Edit1 = Named(new QLineEdit(GroupBox1), "Edit1");
    Edit1->setGeometry(8, 33, 118, 21);
    Edit1->setReadOnly(true);
    Button2 = Named(new QPushButton(QStringLiteral("..."), GroupBox1), "Button2");
    Button2->setGeometry(130, 32, 23, 23);
    RadioButton1 = Named(new QRadioButton(tr("patch file directly"), GroupBox1), "RadioButton1");
    RadioButton1->setGeometry(8, 59, 145, 17);
    CheckBox5 = Named(new QCheckBox(tr("create backup"), GroupBox1), "CheckBox5");
    CheckBox5->setGeometry(26, 77, 127, 17);
    CheckBox5->setChecked(true);
    CheckBox5->setEnabled(false);
    RadioButton2 =
        Named(new QRadioButton(tr("create patch for V_KLay"), GroupBox1), "RadioButton2");
    RadioButton2->setGeometry(8, 96, 145, 17);
    RadioButton2->setChecked(true);
    Label5 = Named(new QLabel(tr("Save Patch To"), GroupBox1), "Label5");
    Label5->setGeometry(8, 119, 145, 14);
    Edit5 = Named(new QLineEdit(QStringLiteral("All_Patches"), GroupBox1), "Edit5");
    Edit5->setGeometry(8, 134, 112, 21);
    Edit5->setMaxLength(128);
    Label21 = Named(new QLabel(QStringLiteral(".vkp"), GroupBox1), "Label21");
    Label21->setGeometry(123, 137, 30, 14);
    CheckBox1 = Named(new QCheckBox(tr("Use single patch"), GroupBox1), "CheckBox1");
    CheckBox1->setGeometry(8, 162, 145, 17);
    CheckBox1->setChecked(true);
    CheckBox2 = Named(new QCheckBox(tr("Add Timestamp"), GroupBox1), "CheckBox2");
    CheckBox2->setGeometry(8, 183, 145, 17);
    CheckBox2->setChecked(true);

    GroupBox4 = Named(new QGroupBox(tr("  Information  "), this), "GroupBox4");
    GroupBox4->setGeometry(x, 334, w, 80);
    QFont boldValue = font();
    boldValue.setBold(true);
    auto infoRow = [&](QLabel*& caption, const char* captionName, const char* text, QLabel*& value,
                       const char* valueName, int y) {
        caption = Named(new QLabel(tr(text), GroupBox4), captionName);
        caption->setGeometry(8, y, 58, 15);
        value = Named(new QLabel(GroupBox4), valueName);
        value->setGeometry(68, y, 85, 15);
        value->setFont(boldValue);
    };
    infoRow(Label9, "Label9", QT_TR_NOOP("Phone:"), Label12, "Label12", 20);
    infoRow(Label10, "Label10", QT_TR_NOOP("Version:"), Label13, "Label13", 38);
    infoRow(Label11, "Label11", QT_TR_NOOP("File type:"), Label2, "Label2", 56);

    GroupBox3 = Named(new QGroupBox(tr("  Action  "), this), "GroupBox3");
    GroupBox3->setGeometry(x, 418, w, 97);
    Button3 = Named(new QPushButton(tr("Go"), GroupBox3), "Button3");
    Button3->setGeometry(8, 20, 145, 29);
    QFont go = font();
    go.setBold(true);  // set before the groups turn bold
    go.setPointSize(10);
    Button3->setFont(go);
    Button3->setEnabled(false);
    CheckBox4 = Named(new QCheckBox(tr("Auto run V_KLay"), GroupBox3), "CheckBox4");
    CheckBox4->setGeometry(8, 55, 145, 17);
    CheckBox4->setChecked(true);
    CheckBox3 = Named(new QCheckBox(tr("Don't change melody name"), GroupBox3), "CheckBox3");
    CheckBox3->setGeometry(4, 74, 156, 17);

    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            RadioButton1Click();
        }
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            RadioButton2Click();
        }
    });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
}

void TForm1::BuildRightColumn() {
    constexpr int x = 184;
    constexpr int w = 473;

    GroupBox2 = Named(new QGroupBox(tr("  Melodies, Pictures, Animations  "), this), "GroupBox2");
    GroupBox2->setGeometry(x, 2, w, 385);

    // The chosen marks sit under the list's left edge, so only their boxes show.
    for (int n = 1; n <= kSlotCount; ++n) {
        auto* mark = new QCheckBox(Text(ChosenMarkCaption(n)), GroupBox2);
        mark->setObjectName(QStringLiteral("CheckBoxM%1").arg(n));
        mark->setVisible(false);
        mark->setEnabled(false);
        CheckBoxM[static_cast<std::size_t>(n - 1)] = mark;
    }

    ListView1 = Named(new QTreeWidget(GroupBox2), "ListView1");
    ListView1->setColumnCount(5);
    ListView1->setHeaderLabels(
        {tr("Melody"), tr("Size"), tr("Max"), tr("Address"), tr("Filename")});
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    ListView1->setIconSize({2 * kIconSize + kIconGap, kIconSize});
    ListView1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setItemDelegate(new SlotListDelegate(this));

    QHeaderView* header = ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(20);
    for (int c = 0; c < 5; ++c) {
        ListView1->setColumnWidth(c, kColumnWidths[static_cast<std::size_t>(c)]);
        if (c >= 1 && c <= 3) {
            ListView1->headerItem()->setTextAlignment(c, Qt::AlignCenter);
        }
    }
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Interactive);
    header->setSectionResizeMode(2, QHeaderView::Interactive);
    header->setSectionResizeMode(3, QHeaderView::Fixed);
    header->setSectionResizeMode(4, QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if ((column == 1 || column == 2) && size > kResizableColumnMax) {
            ListView1->header()->resizeSection(column, kResizableColumnMax);
        }
    });

    for (int n = 1; n <= kSlotCount; ++n) {
        const SlotDefinition& def = SlotDef(n);
        auto* item = new QTreeWidgetItem(ListView1);
        item->setText(kColumnCaption, Text(def.caption));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setData(kColumnCaption, kKindRole, static_cast<int>(def.kind));
        for (int c = 1; c <= 3; ++c) {
            item->setTextAlignment(c, Qt::AlignCenter);
        }
        SetSmallImage(n - 1, -1);
    }

    const int frame = ListView1->frameWidth();
    int listWidth = 2 * frame;
    for (int width : kColumnWidths) {
        listWidth += width;
    }
    const int headerHeight = header->sizeHint().height();
    ListView1->setGeometry(24, 20, listWidth, 2 * frame + headerHeight + kSlotCount * kRowHeight);
    ListView1->raise();

    for (int n = 1; n <= kSlotCount; ++n) {
        auto* button = new QPushButton(QStringLiteral("..."), GroupBox2);
        button->setObjectName(QStringLiteral("ButtonM%1").arg(n));
        button->setProperty("Tag", n);
        ButtonM[static_cast<std::size_t>(n - 1)] = button;
        connect(button, &QPushButton::clicked, this, [this, button] { OpenMelodyClick(button); });
    }
    AlignSlotControls();

    const int legendY = ListView1->geometry().bottom() + 8;
    Image1 = Named(new QLabel(GroupBox2), "Image1");
    Image1->setGeometry(24, legendY, kIconSize, kIconSize);
    Image1->setPixmap(SmallPicture(0));
    Label6 = Named(new QLabel(tr("Found"), GroupBox2), "Label6");
    Label6->setGeometry(44, legendY, 60, kIconSize);
    Image2 = Named(new QLabel(GroupBox2), "Image2");
    Image2->setGeometry(110, legendY, kIconSize, kIconSize);
    Image2->setPixmap(SmallPicture(1));
    Label7 = Named(new QLabel(tr("Not Found"), GroupBox2), "Label7");
    Label7->setGeometry(130, legendY, 80, kIconSize);
    Button1 = Named(new QPushButton(tr("Edit Name"), GroupBox2), "Button1");
    Button1->setGeometry(ListView1->geometry().right() - 84, legendY - 4, 85, 24);

    GroupBox6 = Named(new QGroupBox(tr("  Path to V_KLay executable  "), this), "GroupBox6");
    GroupBox6->setGeometry(x, 390, w, 76);
    Edit8 = Named(new QLineEdit(QStringLiteral("v_klay.exe"), GroupBox6), "Edit8");
    Edit8->setGeometry(10, 21, 418, 21);
    Button4 = Named(new QPushButton(QStringLiteral("..."), GroupBox6), "Button4");
    Button4->setGeometry(434, 20, 27, 23);
    Label23 = Named(new QLabel(tr("not found"), GroupBox6), "Label23");
    Label23->setGeometry(10, 48, 418, 16);
    Label23->setAlignment(Qt::AlignCenter);
    Label23->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));

    Panel1 = Named(new QLabel(tr("empty slot ;)"), this), "Panel1");
    Panel1->setGeometry(x, 470, w, 45);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setAlignment(Qt::AlignCenter);

    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { ListView1SelectItem(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Edit8, &QLineEdit::textChanged, this, [this] { Edit8Change(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
}

void TForm1::BuildHiddenControls() {
    GroupBox5 = Named(new QGroupBox(tr("  Addresses  "), this), "GroupBox5");
    GroupBox5->setGeometry(184, 300, 200, 90);
    Label14 = Named(new QLabel(tr("found melody address"), GroupBox5), "Label14");
    Label14->setGeometry(8, 18, 150, 14);
    Label15 = Named(new QLabel(tr("start"), GroupBox5), "Label15");
    Label15->setGeometry(8, 38, 40, 14);
    Label16 = Named(new QLabel(QStringLiteral("(hex)"), GroupBox5), "Label16");
    Label16->setGeometry(150, 38, 40, 14);
    Label17 = Named(new QLabel(tr("end"), GroupBox5), "Label17");
    Label17->setGeometry(8, 62, 40, 14);
    Edit6 = Named(new QLineEdit(QStringLiteral("0"), GroupBox5), "Edit6");
    Edit6->setGeometry(50, 35, 90, 21);
    Edit6->setReadOnly(true);
    Edit7 = Named(new QLineEdit(QStringLiteral("0"), GroupBox5), "Edit7");
    Edit7->setGeometry(50, 59, 90, 21);
    Edit7->setReadOnly(true);
    GroupBox5->setVisible(false);

    Button5 = Named(new QPushButton(QStringLiteral("Button5"), this), "Button5");
    Button5->setGeometry(8, 480, 75, 25);
    Button6 = Named(new QPushButton(QStringLiteral("relopate eep"), this), "Button6");
    Button6->setGeometry(90, 480, 75, 25);
    for (QPushButton* button : {Button5, Button6}) {
        button->setEnabled(false);
        button->setVisible(false);
    }
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
}

// Each chosen mark and "..." button is level with its row of the list.
void TForm1::AlignSlotControls() {
    const QRect list = ListView1->geometry();
    const int top = list.top() + ListView1->frameWidth() + ListView1->header()->sizeHint().height();
    for (int row = 0; row < kSlotCount; ++row) {
        const int y = top + row * kRowHeight;
        CheckBoxM[static_cast<std::size_t>(row)]->setGeometry(6, y, 64, kRowHeight);
        ButtonM[static_cast<std::size_t>(row)]->setGeometry(list.right() + 3, y, 22, kRowHeight);
    }
}

template <typename F>
void TForm1::Guard(F&& handler) {
    try {
        handler();
    } catch (const FileError& e) {
        dialogs.ReportError(QString::fromLocal8Bit(e.what()));
    } catch (const std::exception& e) {
        dialogs.ReportError(QString::fromLocal8Bit(e.what()));
    }
}

// --- Start-up and options -------------------------------------------------------------------

void TForm1::FormActivate() {
    if (started_) {
        return;
    }
    started_ = true;
    Edit8->setText(platform.LocalProgramPath(ProgramFromCommand(platform.VKlayCommand())));
    InitialiseSlotTable(Melodies);
    SelectRow(0);
}

void TForm1::Edit8Change() {
    const bool exists = platform.FileExists(Edit8->text());
    Label23->setText(exists ? QString() : tr("not found"));
    const bool autoRun = exists && CheckBox1->isChecked();
    CheckBox4->setEnabled(autoRun);
    if (!autoRun) {
        CheckBox4->setChecked(false);
    }
}

void TForm1::Button4Click() {
    OpenDialog3.fileName = Edit8->text();
    if (const auto chosen = dialogs.OpenFile(OpenDialog3)) {
        Edit8->setText(*chosen);
    }
}

void TForm1::CheckBox1Click() {
    const bool single = CheckBox1->isChecked();
    Edit5->setEnabled(single);
    const bool autoRun = platform.FileExists(Edit8->text()) && single;
    CheckBox4->setEnabled(autoRun);
    CheckBox4->setChecked(autoRun);
    if (single) {
        Edit5->setText(QStringLiteral("All_Patches"));
    }
}

void TForm1::RadioButton1Click() {
    CheckBox5->setEnabled(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label5, Edit5, Label21, CheckBox1, CheckBox4}) {
        w->setEnabled(false);
    }
    CheckBox4->setChecked(false);
}

void TForm1::RadioButton2Click() {
    CheckBox5->setEnabled(false);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label5, Edit5, Label21, CheckBox1, CheckBox4}) {
        w->setEnabled(true);
    }
}

void TForm1::Timer1Timer() {
    Button3->setEnabled(!TrimControl(Edit1->text()).isEmpty() &&
                        !TrimControl(Edit5->text()).isEmpty());
}

// --- Slot list --------------------------------------------------------------------------------

int TForm1::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.constFirst());
}

void TForm1::SelectRow(int row) {
    if (row < 0 || row >= kSlotCount) {
        ListView1->clearSelection();
        return;
    }
    ListView1->setCurrentItem(ListView1->topLevelItem(row));
}

QString TForm1::Caption(int row) const {
    return ListView1->topLevelItem(row)->text(kColumnCaption);
}

int TForm1::SmallImage(int row) const {
    return ListView1->topLevelItem(row)->data(kColumnCaption, kSmallImageRole).toInt();
}

// The caption's icon shows the kind picture and, right of it, the found / not-found picture.
void TForm1::SetSmallImage(int row, int image) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    const auto kind = static_cast<SlotKind>(item->data(kColumnCaption, kKindRole).toInt());
    QPixmap icon(2 * kIconSize + kIconGap, kIconSize);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.drawPixmap(0, 0, KindPicture(kind));
        if (image >= 0) {
            painter.drawPixmap(kIconSize + kIconGap, 0, SmallPicture(image));
        }
    }
    item->setIcon(kColumnCaption, QIcon(icon));
    item->setData(kColumnCaption, kSmallImageRole, image);
}

void TForm1::ListView1SelectItem() {
    const int row = SelectedRow();
    QString caption = row >= 0 ? Caption(row) : QString();
    caption.replace(QLatin1Char(' '), QLatin1Char('_'));
    if (!CheckBox1->isChecked()) {
        Edit5->setText(caption);
    }
    ApplyNameControls();
    ComboBox1Change();
}

// Names can change only for a standard-melody row of a full flash.
void TForm1::ApplyNameControls() {
    const int row = SelectedRow();
    const bool names = row < kStandardMelodyCount && Kind == ImageKind::FullFlash;
    CheckBox3->setEnabled(names);
    CheckBox3->setChecked(!names);
    Button1->setEnabled(row >= 0 && names);
}

void TForm1::ComboBox1Change() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const SelectedSlotDisplay display = ShowSelectedSlot(Melodies[static_cast<std::size_t>(row)]);
    Edit6->setText(Text(display.start));
    Edit7->setText(Text(display.end));
    Edit6->setEnabled(display.enabled);
    Edit7->setEnabled(display.enabled);
}

// --- Opening an image -------------------------------------------------------------------------

void TForm1::Button2Click() {
    if (const auto chosen = dialogs.OpenFile(OpenDialog1)) {
        OpenImage(*chosen);
    }
}

void TForm1::OpenImage(const QString& path) {
    Guard([&] {
        const std::string local = LocalPath(path);
        Buffer.Load(local);  // throws before anything of the window changes
        const ByteView image = Buffer.Image();
        Edit1->setText(path);
        WorkingImage.assign(image.begin(), image.end());
        const ImageInfo info = Identify(local, image);
        Kind = info.kind;
        RadioButton2->setEnabled(true);
        Label12->setText(
            QString::fromLatin1(info.phone.data(), static_cast<qsizetype>(info.phone.size())));
        Label13->setText(Text(info.version));
        Label2->setText(TranslatedMessage(Text(KindText(Kind))));
        if (Kind == ImageKind::EepromEep && EndsWithEep(local)) {
            RadioButton1->setChecked(true);
            RadioButton2->setEnabled(false);
        }
        ApplyNameControls();
        if (Kind == ImageKind::EepromEep) {
            SearchMelodiesEEP(image);
        } else {
            SearchMelodies(image);
        }
    });
}

void TForm1::SearchMelodies(ByteView image) {
    ApplyRows(SearchFullFlash(image, Kind, Melodies));
    ComboBox1Change();
}

void TForm1::SearchMelodiesEEP(ByteView image) {
    ApplyRows(SearchEep(image, Melodies));
    ComboBox1Change();
}

void TForm1::ApplyRows(const SlotRows& rows) {
    for (int row = 0; row < kSlotCount; ++row) {
        const SlotRow& result = rows[static_cast<std::size_t>(row)];
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        QCheckBox* mark = CheckBoxM[static_cast<std::size_t>(row)];
        if (result.dropChoice) {
            item->setText(kColumnFilename, QString());
            mark->setEnabled(false);
            mark->setVisible(false);
            mark->setChecked(false);
        }
        SetSmallImage(row, result.found ? 0 : 1);
        item->setText(1, TranslatedMessage(Text(result.size)));
        item->setText(2, TranslatedMessage(Text(result.max)));
        item->setText(3, TranslatedMessage(Text(result.address)));
        ButtonM[static_cast<std::size_t>(row)]->setEnabled(result.found);
    }
}

// --- Slot files and names ---------------------------------------------------------------------

void TForm1::OpenMelodyClick(QObject* Sender) {
    const int n = Sender->property("Tag").toInt();
    if (n >= 1 && n <= kSlotCount) {
        ChooseSlotFile(n);
    }
}

void TForm1::ChooseSlotFile(int n) {
    OpenDialog2.fileName.clear();
    OpenDialog2.filter = Text(SlotFileFilter(n));
    if (const auto chosen = dialogs.OpenFile(OpenDialog2)) {
        SetSlotFile(n, *chosen);
    }
}

void TForm1::SetSlotFile(int n, const QString& path) {
    const std::string local = LocalPath(path);
    ListView1->topLevelItem(RowOfSlot(n))
        ->setText(kColumnFilename, FromLocalPath(FinalPathComponent(local)));
    Melodies[static_cast<std::size_t>(RowOfSlot(n))].FileName = local;
    QCheckBox* mark = CheckBoxM[static_cast<std::size_t>(RowOfSlot(n))];
    mark->setEnabled(true);
    mark->setVisible(true);
    mark->setChecked(true);
}

void TForm1::Button1Click() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    ListView1->setFocus();
    ListView1->editItem(ListView1->topLevelItem(row), kColumnCaption);
}

void TForm1::ListView1Edited(QTreeWidgetItem* Item, QString& S) {
    const int row = ListView1->indexOfTopLevelItem(Item);
    if (row >= kStandardMelodyCount || SelectedRow() >= kStandardMelodyCount || row < 0) {
        S = Item ? Item->text(kColumnCaption) : QString();  // user slots keep their captions
        return;
    }
    S = QString::fromStdString(CleanMelodyName(S.toStdString()));
}

// --- Window events ----------------------------------------------------------------------------

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        FormActivate();
    }
    return QWidget::event(e);
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile() &&
        QFileInfo(urls.constFirst().toLocalFile()).isFile()) {
        e->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile()) {
        e->acceptProposedAction();
        FormActivate();
        OpenImage(QFileInfo(urls.constFirst().toLocalFile()).absoluteFilePath());
    }
}

}  // namespace carillon::ui
