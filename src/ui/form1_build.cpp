// SPDX-License-Identifier: GPL-3.0-or-later
// Building the window: its controls, their starting state and their connections. Every
// handler is connected through On, so that one guard reports whatever a handler throws.
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "core/product.h"
#include "patch/patch_request.h"
#include "ui/form1.h"
#include "ui/slot_list.h"

namespace carillon::ui {

namespace {

constexpr int kLeftX = 8;
constexpr int kLeftWidth = 161;
constexpr int kRightX = 184;
constexpr int kRightWidth = 473;
constexpr int kResizableColumnMax = 60;
constexpr std::array<int, 5> kColumnWidths = {130, 40, 40, 58, 137};

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Runs `handler` when its widget is clicked with the left button.
class ClickFilter : public QObject {
  public:
    ClickFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            handler_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> handler_;
};

}  // namespace

template <typename Sender, typename Signal, typename Handler>
void TForm1::On(Sender* sender, Signal signal, Handler handler) {
    connect(sender, signal, this, [this, handler] { Guard(handler); });
}

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
                   tr("V_KLay Full Flash or EEPROM (*.bin)|*.bin|Freia Full Flash or EEPROM "
                      "(*.fls)|*.fls|Siemens EEPROM tool (*.eep)|*.eep|All Files|*.*"),
                   {},
                   {}};
    OpenDialog2 = {};
    OpenDialog3 = {{}, QStringLiteral("V_KLay|*.exe"), {}, {}};

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    On(Timer1, &QTimer::timeout, [this] { Timer1Timer(); });
    Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::BuildLeftColumn() {
    GroupBox7 = Named(new QGroupBox(this), "GroupBox7");
    GroupBox7->setGeometry(kLeftX, 2, kLeftWidth, 114);
    Image3 = Named(new QLabel(GroupBox7), "Image3");
    Image3->setGeometry(8, 10, 145, 98);
    Image3->setPixmap(Picture(QStringLiteral("logo.svg"), {145, 98}));
    // The logo is the window's "About" entry: the version and the licence.
    Image3->setToolTip(tr("About Carillon"));
    Image3->setCursor(Qt::PointingHandCursor);
    Image3->installEventFilter(new ClickFilter(Image3, [this] {
        Guard([this] {
            dialogs.ShowMessage(
                Text(kApplicationTitle),
                tr("%1 %2\n\nFree software: you may share and change it under the GNU General "
                   "Public License, version 3 or later (%3). It comes with no warranty.")
                    .arg(Text(kApplicationTitle), Text(kVersion), Text(kLicense)));
        });
    }));

    BuildFilesGroup();
    BuildInformationGroup();
    BuildActionGroup();
}

void TForm1::BuildFilesGroup() {
    GroupBox1 = Named(new QGroupBox(tr("  Files  "), this), "GroupBox1");
    GroupBox1->setGeometry(kLeftX, 118, kLeftWidth, 212);
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

    On(Button2, &QPushButton::clicked, [this] { Button2Click(); });
    On(RadioButton1, &QRadioButton::toggled, [this] {
        if (RadioButton1->isChecked()) {
            RadioButton1Click();
        }
    });
    On(RadioButton2, &QRadioButton::toggled, [this] {
        if (RadioButton2->isChecked()) {
            RadioButton2Click();
        }
    });
    On(CheckBox1, &QCheckBox::toggled, [this] { CheckBox1Click(); });
}

void TForm1::BuildInformationGroup() {
    GroupBox4 = Named(new QGroupBox(tr("  Information  "), this), "GroupBox4");
    GroupBox4->setGeometry(kLeftX, 334, kLeftWidth, 80);
    QFont boldValue = font();
    boldValue.setBold(true);
    // The values start right after the longest caption ("Тип файла:" under Russian), so that
    // neither runs into the other in any language.
    const QFontMetrics metrics(font());
    const int captionWidth = std::max({metrics.horizontalAdvance(tr("Phone:")),
                                       metrics.horizontalAdvance(tr("Version:")),
                                       metrics.horizontalAdvance(tr("File type:"))}) +
                             2;
    const int valueX = 8 + captionWidth + 3;
    auto infoRow = [&](QLabel*& caption, const char* captionName, const QString& text,
                       QLabel*& value, const char* valueName, int y) {
        caption = Named(new QLabel(text, GroupBox4), captionName);
        caption->setGeometry(8, y, captionWidth, 15);
        value = Named(new QLabel(GroupBox4), valueName);
        value->setGeometry(valueX, y, kLeftWidth - valueX - 3, 15);
        value->setFont(boldValue);
    };
    infoRow(Label9, "Label9", tr("Phone:"), Label12, "Label12", 20);
    infoRow(Label10, "Label10", tr("Version:"), Label13, "Label13", 38);
    infoRow(Label11, "Label11", tr("File type:"), Label2, "Label2", 56);
}

void TForm1::BuildActionGroup() {
    GroupBox3 = Named(new QGroupBox(tr("  Action  "), this), "GroupBox3");
    GroupBox3->setGeometry(kLeftX, 418, kLeftWidth, 97);
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

    On(Button3, &QPushButton::clicked, [this] { Button3Click(); });
    // Only the user's tick gives a row its stored name back; the row selection sets the box too.
    On(CheckBox3, &QCheckBox::clicked, [this] { CheckBox3Click(); });
}

void TForm1::BuildRightColumn() {
    GroupBox2 = Named(new QGroupBox(tr("  Melodies, Pictures, Animations  "), this), "GroupBox2");
    GroupBox2->setGeometry(kRightX, 2, kRightWidth, 385);

    BuildSlotList();
    BuildSlotControls();
    BuildVKlayGroup();
}

// The slot list: five columns, 18 rows of fixed height, captions editable in place.
void TForm1::BuildSlotList() {
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
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Guard([this, pos] { ListView1ContextPopup(pos); }); });
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    ListView1->setIconSize({2 * kIconSize + kIconGap, kIconSize});
    // The list shows all 18 rows and never scrolls, so each row's chosen mark and "..." button,
    // which stand outside it, stay level with the row: no scroll bars, the wheel is ignored, and
    // any scroll (a key, an edit) is taken back at once.
    ListView1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->viewport()->installEventFilter(this);
    for (QScrollBar* bar : {ListView1->verticalScrollBar(), ListView1->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [bar](int value) {
            if (value != 0) {
                bar->setValue(0);
            }
        });
    }
    ListView1->setItemDelegate(new SlotListDelegate(this));

    QHeaderView* header = ListView1->header();
    // "Filename" takes what the other columns leave, so widening "Size" or "Max" never makes
    // the columns wider than the list.
    header->setStretchLastSection(true);
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
    header->setSectionResizeMode(4, QHeaderView::Stretch);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if ((column == 1 || column == 2) && size > kResizableColumnMax) {
            ListView1->header()->resizeSection(column, kResizableColumnMax);
        }
    });

    for (int n = 1; n <= kSlotCount; ++n) {
        const SlotDefinition& def = SlotDef(n);
        auto* item = new QTreeWidgetItem(ListView1);
        item->setText(kColumnCaption, Text(def.caption));
        if (IsStandardMelodyRow(n - 1)) {  // only a melody's name can change
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
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

    On(ListView1, &QTreeWidget::itemSelectionChanged, [this] { ListView1SelectItem(); });
}

// Beside each row its chosen mark and "..." button; below the list the legend and "Edit Name".
void TForm1::BuildSlotControls() {
    // The chosen marks sit under the list's left edge, so only their boxes show.
    for (int n = 1; n <= kSlotCount; ++n) {
        auto* mark = new QCheckBox(Text(ChosenMarkCaption(n)), GroupBox2);
        mark->setObjectName(QStringLiteral("CheckBoxM%1").arg(n));
        mark->setVisible(false);
        mark->setEnabled(false);
        mark->stackUnder(ListView1);
        CheckBoxM[static_cast<std::size_t>(n - 1)] = mark;
    }

    for (int n = 1; n <= kSlotCount; ++n) {
        auto* button = new QPushButton(QStringLiteral("..."), GroupBox2);
        button->setObjectName(QStringLiteral("ButtonM%1").arg(n));
        button->setProperty("Tag", n);
        ButtonM[static_cast<std::size_t>(n - 1)] = button;
        On(button, &QPushButton::clicked, [this, button] { OpenMelodyClick(button); });
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

    On(Button1, &QPushButton::clicked, [this] { Button1Click(); });
}

void TForm1::BuildVKlayGroup() {
    GroupBox6 = Named(new QGroupBox(tr("  Path to V_KLay executable  "), this), "GroupBox6");
    GroupBox6->setGeometry(kRightX, 390, kRightWidth, 76);
    Edit8 = Named(new QLineEdit(QStringLiteral("v_klay.exe"), GroupBox6), "Edit8");
    Edit8->setGeometry(10, 21, 418, 21);
    Button4 = Named(new QPushButton(QStringLiteral("..."), GroupBox6), "Button4");
    Button4->setGeometry(434, 20, 27, 23);
    Label23 = Named(new QLabel(tr("not found"), GroupBox6), "Label23");
    Label23->setGeometry(10, 48, 418, 16);
    Label23->setAlignment(Qt::AlignCenter);
    Label23->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));

    Panel1 = Named(new QLabel(tr("empty slot ;)"), this), "Panel1");
    Panel1->setGeometry(kRightX, 470, kRightWidth, 45);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setAlignment(Qt::AlignCenter);

    On(Edit8, &QLineEdit::textChanged, [this] { Edit8Change(); });
    On(Button4, &QPushButton::clicked, [this] { Button4Click(); });
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
    // The hidden commands guard themselves: they are also run without their buttons.
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

}  // namespace carillon::ui
