// Form8 on the offscreen platform: the controls as built from the layout, keyboard
// behaviour, start-up and the three buttons running their handlers on the in-memory host.
#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MessageCatcher.h"
#include "WindowCases.h"
#include "host/memory/MemoryHost.h"
#include "texts/Texts.h"
#include "window/qt/Form8.h"

namespace gridmoor {
namespace {

using testing::MessageCatcher;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Form8 whose window calls also note what a running handler could observe: whether the
// busy cursor is up, and whether an event posted inside the handler has been processed.
class ProbeForm8 : public Form8 {
public:
    using Form8::Form8;

    std::string Text1() const override {
        noteInside();
        return Form8::Text1();
    }
    void setLabel1(std::string_view text) override {
        noteInside();
        Form8::setLabel1(text);
    }
    void showMessage(std::string_view text) override {
        postedRanBeforeMessage = postedRan;
        Form8::showMessage(text);
    }

    // Forgets what start-up showed, so that only the next click is observed.
    void forget() {
        busyInside.clear();
        posted = postedRan = postedRanBeforeMessage = false;
    }

    mutable std::vector<bool> busyInside;
    mutable bool posted = false;
    mutable bool postedRan = false;
    bool postedRanBeforeMessage = false;

private:
    void noteInside() const {
        busyInside.push_back(QGuiApplication::overrideCursor() != nullptr &&
                             QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor);
        if (!posted) {
            posted = true;
            QTimer::singleShot(0, [this] { postedRan = true; });
        }
    }
};

template <class W = QWidget>
W* control(QWidget& form, const char* name) {
    return form.findChild<W*>(QString::fromLatin1(name));
}

// The color the window actually painted at a point of its client area.
QColor paintedAt(QWidget& form, QPoint point) {
    const QImage image = form.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(QPoint(qRound(point.x() * ratio), qRound(point.y() * ratio)));
}

}  // namespace

class Form8Test : public QObject {
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void window();
    void chineseFontCoversTheTexts();
    void controlsKeepTheirPlaceWhenResized();
    void sharedCases_data();
    void sharedCases();
    void focusStartsOnRefreshAndTabWalksTheButtons();
    void enterAndEscapePressNothing();
};

void Form8Test::controls_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<bool>("chineseFont");
    QTest::addColumn<QColor>("background");  // invalid: the toolkit's colour for the kind

    const QColor form(192, 192, 255);
    const QColor pink(255, 192, 255);
    QTest::newRow("Command4") << "QPushButton"
                              << "撤销合并单元格" << QRect(240, 168, 97, 33) << false << QColor();
    QTest::newRow("Command3") << "QPushButton"
                              << "智能合并单元格" << QRect(96, 168, 105, 33) << false << QColor();
    QTest::newRow("Text1") << "QLineEdit"
                           << "Text1" << QRect(112, 112, 161, 38) << true << QColor();
    QTest::newRow("Command2") << "QPushButton"
                              << "刷新" << QRect(288, 8, 57, 41) << false << QColor();
    QTest::newRow("Label3") << "QLabel"
                            << "输入单元格范围，仅支持单行或单列的数据，例如B1:B10，A5:F5"
                            << QRect(8, 80, 409, 25) << true << form;
    QTest::newRow("Label2") << "QLabel"
                            << "Label2" << QRect(8, 40, 273, 17) << false << pink;
    QTest::newRow("Label1") << "QLabel"
                            << "Label1" << QRect(8, 8, 273, 25) << false << pink;
}

// Every control as created, before start-up changes any text.
void Form8Test::controls() {
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, pixels);
    QFETCH(bool, chineseFont);
    QFETCH(QColor, background);

    MemoryHost host;
    Form8 form(host);
    auto* widget = control(form, QTest::currentDataTag());
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), &form);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(widget->geometry(), pixels);

    if (chineseFont) {
        QCOMPARE(widget->font().families().value(0), QStringLiteral("微软雅黑"));
        QCOMPARE(widget->font().pointSizeF(), 10.5);
        QCOMPARE(widget->font().weight(), QFont::Normal);
        QVERIFY(!widget->font().italic());
        QVERIFY(!widget->font().underline());
        QVERIFY(!widget->font().strikeOut());
    } else {
        QVERIFY2(!widget->testAttribute(Qt::WA_SetFont), "uses the window's default font");
    }

    if (background.isValid()) {
        // Opaque: the colour fills the whole label, down to its bottom-right pixel (the
        // text is aligned top left and never reaches it).
        QVERIFY(widget->autoFillBackground());
        const QRect r = widget->geometry();
        QCOMPARE(paintedAt(form, r.topRight()), background);
        QCOMPARE(paintedAt(form, r.bottomRight()), background);
    } else {
        for (auto role : {QPalette::Button, QPalette::Base})
            QCOMPARE(widget->palette().color(role), QApplication::palette(widget).color(role));
    }
}

void Form8Test::window() {
    MemoryHost host;
    Form8 form(host);
    QVERIFY(form.isWindow());
    QCOMPARE(form.windowType(), Qt::Window);  // not a dialog
    QCOMPARE(form.windowTitle(), QStringLiteral("Gridmoor--智能合并单元格"));
    QCOMPARE(form.geometry(), QRect(611, 333, 429, 215));  // client area at (611, 333)
    QCOMPARE(form.palette().color(QPalette::Window), QColor(192, 192, 255));
    // Background between and around the controls.
    QCOMPARE(paintedAt(form, QPoint(2, 2)), QColor(192, 192, 255));
    QCOMPARE(paintedAt(form, QPoint(420, 200)), QColor(192, 192, 255));
    QCOMPARE(paintedAt(form, QPoint(90, 130)), QColor(192, 192, 255));

    const QIcon icon = form.windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(48, 48)));
    const QImage image = icon.pixmap(QSize(48, 48)).toImage();
    QCOMPARE(image.size(), QSize(48, 48));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);      // transparent corner
    QCOMPARE(image.pixelColor(24, 24).alpha(), 255);  // opaque body
}

// "微软雅黑" where it is installed, else a font that covers Simplified Chinese: every
// character of the Chinese texts must be in the font actually used.
void Form8Test::chineseFontCoversTheTexts() {
    MemoryHost host;
    Form8 form(host);
    for (const char* name : {"Label3", "Text1"}) {
        auto* widget = control(form, name);
        const QFontInfo info(widget->font());
        QVERIFY2(
            QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::SimplifiedChinese),
            qPrintable(info.family()));
        QCOMPARE(info.pointSizeF(), 10.5);
        const QFontMetrics metrics(widget->font());
        const QString all = qs(texts::kLabel3) + qs(texts::kNoWorkbook) + qs(texts::kMergeDone);
        for (const char32_t c : all.toUcs4())
            QVERIFY2(metrics.inFontUcs4(c), qPrintable(QString::number(c, 16)));
    }
}

void Form8Test::controlsKeepTheirPlaceWhenResized() {
    MemoryHost host;
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    std::vector<std::pair<QWidget*, QRect>> before;
    for (auto* child : form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        before.emplace_back(child, child->geometry());
    QCOMPARE(before.size(), std::size_t{7});
    for (const QSize size : {QSize(800, 500), QSize(200, 100), QSize(429, 215)}) {
        form.resize(size);
        QTRY_COMPARE(form.size(), size);
        for (const auto& [child, rect] : before) QCOMPARE(child->geometry(), rect);
    }
    // Newly uncovered area shows the window's colour.
    form.resize(800, 500);
    QTRY_COMPARE(form.size(), QSize(800, 500));
    QCOMPARE(paintedAt(form, QPoint(700, 400)), QColor(192, 192, 255));
}

void Form8Test::sharedCases_data() {
    QTest::addColumn<int>("row");
    const auto all = windowcases::cases();
    for (std::size_t i = 0; i < all.size(); ++i) QTest::newRow(all[i].name) << static_cast<int>(i);
}

// A row of the table every Form8 passes, and on every row what the Qt window adds: each
// message is a modal, icon-less OK box of the window, shown without the busy cursor and
// before the window only at start-up; a handler sees the busy cursor on every call of the
// window, processes no event and leaves no cursor behind; names are plain text.
void Form8Test::sharedCases() {
    QFETCH(int, row);
    const windowcases::WindowCase c = windowcases::cases()[static_cast<std::size_t>(row)];
    windowcases::Bench bench(c);
    ProbeForm8 form(bench.host);
    MessageCatcher catcher;
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const std::size_t atStart = catcher.shown.size();
    QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    if (c.typed != nullptr) QTest::keyClicks(control(form, "Text1"), c.typed);
    bench.beforeClick(c);
    form.forget();
    if (c.button != nullptr) {
        QTest::mouseClick(control(form, c.button), Qt::LeftButton);
        if (catcher.shown.size() == atStart) QVERIFY2(!form.postedRan, "events ran in the handler");
        QVERIFY2(!form.postedRanBeforeMessage, "events ran in the handler");
        for (bool busy : form.busyInside) QVERIFY(busy);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
    QTest::qWait(20);
    QVERIFY(!form.posted || form.postedRan);

    windowcases::Seen seen{{},
                           control<QLabel>(form, "Label1")->text().toStdString(),
                           control<QLabel>(form, "Label2")->text().toStdString(),
                           control<QLineEdit>(form, "Text1")->text().toStdString()};
    for (std::size_t i = 0; i < catcher.shown.size(); ++i) {
        const auto& m = catcher.shown[i];
        seen.messages.push_back(m.text.toStdString());
        QCOMPARE(m.title, qs(texts::kMessageTitle));
        QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(m.icon, QMessageBox::NoIcon);
        QVERIFY(m.modal);
        QCOMPARE(m.parent, static_cast<QWidget*>(&form));
        QCOMPARE(m.parentVisible, i >= atStart);
        if (i < atStart) QCOMPARE(m.label1 + m.label2 + m.text1, QString());
        QVERIFY2(!m.busyCursor, "busy cursor gone before the message");
    }
    const auto bad = windowcases::mismatches(c, seen, bench);
    QVERIFY2(bad.empty(), bad.empty() ? "" : bad.front().c_str());
    QVERIFY(form.isVisible());
    QCOMPARE(control<QLabel>(form, "Label1")->textFormat(), Qt::PlainText);
    QVERIFY(control<QLabel>(form, "Label1")->buddy() == nullptr);
    // None of the texts at creation is left anywhere in the window.
    for (auto* widget : form.findChildren<QWidget*>()) {
        const QString text = widget->property("text").toString();
        QVERIFY2(text != "Label1" && text != "Label2" && text != "Text1",
                 qPrintable(widget->objectName()));
    }
}

void Form8Test::focusStartsOnRefreshAndTabWalksTheButtons() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), control(form, "Command2"));

    const auto& order = windowcases::kTabOrder;
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(order[i]));
    }
    for (std::size_t i = std::size(order) - 1; i-- > 0;) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(order[i]));
    }
}

void Form8Test::enterAndEscapePressNothing() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char* name : {"Command2", "Command3", "Command4"})
        spies.push_back(
            std::make_unique<QSignalSpy>(control<QPushButton>(form, name), &QPushButton::clicked));

    auto* text1 = control<QLineEdit>(form, "Text1");
    text1->setFocus();
    QTest::keyClicks(text1, "B2:B8");
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(text1, key);
    QTest::keyClick(control(form, "Command2"), Qt::Key_Escape);
    QTest::qWait(20);
    for (const auto& spy : spies) QCOMPARE(spy->count(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(text1->text(), QStringLiteral("B2:B8"));

    // The spies do see a real press.
    QTest::keyClick(control(form, "Command2"), Qt::Key_Space);
    QCOMPARE(spies.front()->count(), 1);
}

}  // namespace gridmoor

QTEST_MAIN(gridmoor::Form8Test)
#include "Form8Test.moc"
