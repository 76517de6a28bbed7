#include "window/qt/Form8.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/Failure.h"
#include "texts/Texts.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "window/Form8Layout.h"
#include "window/StatusDisplay.h"

namespace gridmoor {
namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Device-independent pixels: the layout's pixels at 96 dots per inch, which Qt scales
// by the screen's device pixel ratio.
int px(int twips) {
    return layout::toPixels(twips);
}

QRect pixelRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

// The layout's font where it is installed; else, glyph by glyph, the first of the
// families after it that covers Simplified Chinese.
QFont fontOf(const layout::Font& font) {
    QFont f;
    f.setFamilies({qs(font.family), QStringLiteral("Microsoft YaHei"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                   QStringLiteral("WenQuanYi Micro Hei")});
    f.setPointSizeF(font.points);
    f.setWeight(static_cast<QFont::Weight>(font.weight));
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

// An opaque background of its own: the colour fills the whole widget rectangle.
void paintBackground(QWidget& widget, layout::Rgb rgb) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(rgb.red, rgb.green, rgb.blue));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

QWidget* createControl(const layout::Control& control, QWidget& form) {
    QWidget* widget = nullptr;
    switch (control.kind) {
        case layout::ControlKind::PushButton: {
            auto* button = new QPushButton(qs(control.text), &form);
            // Neither Enter nor Esc presses a button of this window.
            button->setAutoDefault(false);
            button->setDefault(false);
            widget = button;
            break;
        }
        case layout::ControlKind::Label: {
            auto* label = new QLabel(&form);
            // Names from the workbook are shown as they are, never as markup.
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(false);
            label->setText(qs(control.text));
            widget = label;
            break;
        }
        case layout::ControlKind::TextBox: {
            auto* edit = new QLineEdit(&form);
            edit->setMaxLength(std::numeric_limits<int>::max());  // no length limit
            edit->setText(qs(control.text));
            widget = edit;
            break;
        }
    }
    widget->setObjectName(qs(control.name));
    widget->setGeometry(pixelRect(control.left, control.top, control.width, control.height));
    if (control.font) widget->setFont(fontOf(*control.font));
    if (control.background) paintBackground(*widget, *control.background);
    return widget;
}

template <class W>
W* controlNamed(QWidget& form, const char* name) {
    auto* widget = form.findChild<W*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    if (widget == nullptr) throw std::logic_error(std::string("layout has no control ") + name);
    return widget;
}

}  // namespace

Form8::Form8(SpreadsheetHost& host) : QWidget(nullptr), host_(host) {
    const layout::Form& form = layout::kForm8;
    setWindowTitle(qs(form.caption));
    setWindowIcon(QIcon(QStringLiteral(":/gridmoor/gridmoor.ico")));
    paintBackground(*this, form.background);
    // For a top-level widget this is the client area's place and size, frame excluded.
    setGeometry(pixelRect(form.screenLeft, form.screenTop, form.clientWidth, form.clientHeight));
    buildControls();

    connect(command2_, &QPushButton::clicked, this, &Form8::onCommand2Clicked);
    connect(command3_, &QPushButton::clicked, this, &Form8::onCommand3Clicked);
    connect(command4_, &QPushButton::clicked, this, &Form8::onCommand4Clicked);
}

void Form8::open() {
    if (!loaded_) {
        loaded_ = true;
        // Before the window is first shown: a message it shows comes before the window.
        gridmoor::Form_Load(host_, *this);
    }
    show();
}

void Form8::buildControls() {
    std::vector<std::pair<int, QWidget*>> focusable;
    for (const layout::Control& control : layout::kControls) {
        QWidget* widget = createControl(control, *this);
        if (control.kind != layout::ControlKind::Label)
            focusable.emplace_back(control.tabIndex, widget);
    }
    label1_ = controlNamed<QLabel>(*this, "Label1");
    label2_ = controlNamed<QLabel>(*this, "Label2");
    text1_ = controlNamed<QLineEdit>(*this, "Text1");
    command2_ = controlNamed<QPushButton>(*this, "Command2");
    command3_ = controlNamed<QPushButton>(*this, "Command3");
    command4_ = controlNamed<QPushButton>(*this, "Command4");

    // Tab walks the focusable controls by tab index, and the first of them has the focus
    // when the window is shown. Labels never take the focus.
    std::ranges::sort(focusable, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1].second, focusable[i].second);
    if (!focusable.empty()) focusable.front().second->setFocus(Qt::OtherFocusReason);
}

std::string Form8::Text1() const {
    return text1_->text().toStdString();
}

void Form8::showMessage(std::string_view text) {
    busy_.reset();  // the user never sees the busy cursor over a message
    QMessageBox box(QMessageBox::NoIcon, qs(texts::kMessageTitle), qs(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    // No icon anywhere in the box, not even the one some styles put on the OK button.
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}

void Form8::setLabel1(std::string_view text) {
    label1_->setText(qs(text));
}

void Form8::setLabel2(std::string_view text) {
    label2_->setText(qs(text));
}

void Form8::setText1(std::string_view text) {
    text1_->setText(qs(text));
}

void Form8::requestTopmost() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        throw Failure("Wayland compositors do not honour a keep-above request");
    // Changing the flags recreates the native window: it hides a shown window and re-places
    // the frame, not the client area, at the old position. The request must neither show,
    // hide nor move the window, so both are restored.
    const bool shown = isVisible();
    const QRect place = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setGeometry(place);
    if (shown) show();
}

template <class Handler>
void Form8::runClick(Handler&& handler) {
    busy_.emplace();
    struct Restore {
        std::optional<BusyCursor>& busy;
        ~Restore() { busy.reset(); }
    } restore{busy_};
    std::forward<Handler>(handler)();
}

void Form8::onCommand2Clicked() {
    runClick([this] { gridmoor::Command2_Click(host_, *this); });
}

void Form8::onCommand3Clicked() {
    runClick([this] { gridmoor::Command3_Click(host_, *this); });
}

void Form8::onCommand4Clicked() {
    runClick([this] { gridmoor::Command4_Click(host_, *this); });
}

}  // namespace gridmoor
