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
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "MessageCatcher.h"
#include "texts/Texts.h"
#include "host/memory/MemoryHost.h"
#include "support/MemoryRig.h"
#include "support/ThrowingHost.h"
#include "window/qt/Form8.h"

namespace gridmoor {
namespace {

using testing::MemoryRig;
using testing::MessageCatcher;
using testing::ThrowingHost;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString workbookLine(const QString& name) {
    return qs(texts::kWorkbookLinePrefix) + name;
}
QString sheetLine(const QString& name) {
    return qs(texts::kSheetLinePrefix) + name;
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
    void startUp_data();
    void startUp();
    void noApplicationMessageComesBeforeTheWindow();
    void namesShowUnchanged_data();
    void namesShowUnchanged();
    void focusStartsOnRefreshAndTabWalksTheButtons();
    void enterAndEscapePressNothing();
    void refreshKeepsText1AndSwitchesTheSettingsOn();
    void refreshWithoutApplicationKeepsTheOldLines();
    void smartMergeMergesTheTypedRange();
    void unmergeFillsTheTypedRange();
    void aHandlerMeetingAnUnexpectedExceptionEndsWithItsMessage_data();
    void aHandlerMeetingAnUnexpectedExceptionEndsWithItsMessage();
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

void Form8Test::startUp_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("workbook");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("label1");
    QTest::addColumn<QString>("label2");

    QTest::newRow("no application")
        << false << false << QStringList{qs(texts::kNoWorkbook)} << QString() << QString();
    QTest::newRow("workbook open")
        << true << true << QStringList{} << workbookLine("Book1.xlsx") << sheetLine("Sheet1");
    QTest::newRow("no workbook") << true << false << QStringList{} << QString() << QString();
}

void Form8Test::startUp() {
    QFETCH(bool, running);
    QFETCH(bool, workbook);
    QFETCH(QStringList, messages);
    QFETCH(QString, label1);
    QFETCH(QString, label2);

    MemoryHost host;
    host.setRunning(running);
    if (workbook) host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    MessageCatcher catcher;
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QStringList shown;
    for (const auto& m : catcher.shown) shown << m.text;
    QCOMPARE(shown, messages);
    QCOMPARE(control<QLabel>(form, "Label1")->text(), label1);
    QCOMPARE(control<QLabel>(form, "Label2")->text(), label2);
    QCOMPARE(control<QLineEdit>(form, "Text1")->text(), QString());
    QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // None of the texts at creation is left anywhere in the window.
    for (auto* widget : form.findChildren<QWidget*>()) {
        const QString text = widget->property("text").toString();
        QVERIFY2(text != "Label1" && text != "Label2" && text != "Text1",
                 qPrintable(widget->objectName()));
    }
}

void Form8Test::noApplicationMessageComesBeforeTheWindow() {
    MemoryHost host;
    host.setRunning(false);
    Form8 form(host);
    MessageCatcher catcher;
    form.open();

    QCOMPARE(catcher.shown.size(), std::size_t{1});
    const auto& m = catcher.shown.front();
    QCOMPARE(m.text, QStringLiteral("没有打开Excel工作簿！"));
    QCOMPARE(m.title, qs(texts::kMessageTitle));
    QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m.icon, QMessageBox::NoIcon);
    QVERIFY(m.modal);
    QCOMPARE(m.parent, static_cast<QWidget*>(&form));
    QVERIFY2(!m.parentVisible, "the message comes before the window is shown");
    QVERIFY(!m.busyCursor);
    QCOMPARE(m.label1, QString());
    QCOMPARE(m.label2, QString());
    QCOMPARE(m.text1, QString());
    QVERIFY(form.isVisible());
}

void Form8Test::namesShowUnchanged_data() {
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("sheet");
    QTest::newRow("blanks") << "Q1 report final.xlsx"
                            << "Sheet 1";
    QTest::newRow("ampersand") << "R&D budget.xlsx"
                               << "A&B";
    QTest::newRow("chinese") << "销售数据（2024）.xlsx"
                             << "一月份";
    QTest::newRow("outer blanks") << "  padded  "
                                  << " x ";
    QTest::newRow("markup and punctuation") << "<b>bold</b>.xlsx"
                                            << "#1 - 'q', \"w\"; (e)!";
}

void Form8Test::namesShowUnchanged() {
    QFETCH(QString, book);
    QFETCH(QString, sheet);
    MemoryHost host;
    host.addWorkbook(book.toStdString(), {sheet.toStdString()});
    Form8 form(host);
    form.open();
    auto* label1 = control<QLabel>(form, "Label1");
    auto* label2 = control<QLabel>(form, "Label2");
    QCOMPARE(label1->text(), workbookLine(book));
    QCOMPARE(label2->text(), sheetLine(sheet));
    // Shown as written: no markup is interpreted and "&" marks no access key.
    QCOMPARE(label1->textFormat(), Qt::PlainText);
    QVERIFY(label1->buddy() == nullptr);
}

void Form8Test::focusStartsOnRefreshAndTabWalksTheButtons() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), control(form, "Command2"));

    const QStringList forward{"Text1", "Command3", "Command4", "Command2", "Text1"};
    for (const QString& next : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
    const QStringList backward{"Command2", "Command4", "Command3", "Text1", "Command2"};
    for (const QString& next : backward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
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

void Form8Test::refreshKeepsText1AndSwitchesTheSettingsOn() {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    ProbeForm8 form(rig.host);
    form.open();
    auto* text1 = control<QLineEdit>(form, "Text1");
    QTest::keyClicks(text1, "B2:B8");
    host.activateSheet("Sheet2");
    host.setDisplayAlerts(false);
    host.setScreenUpdating(false);
    rig.host.resetCalls();

    form.forget();
    MessageCatcher catcher;
    QTest::mouseClick(control(form, "Command2"), Qt::LeftButton);

    QVERIFY(!form.postedRan);  // nothing was processed while the handler ran
    QCOMPARE(control<QLabel>(form, "Label1")->text(), workbookLine("Book1.xlsx"));
    QCOMPARE(control<QLabel>(form, "Label2")->text(), sheetLine("Sheet2"));
    QCOMPARE(text1->text(), QStringLiteral("B2:B8"));
    QVERIFY(host.displayAlerts());
    QVERIFY(host.screenUpdating());
    QCOMPARE(rig.host.argsOf("Calculation"), (std::vector<std::vector<std::string>>{{"1"}}));
    QVERIFY(rig.host.calls().back().failed);  // refused by the host, dropped silently
    QVERIFY(!form.busyInside.empty());
    for (bool busy : form.busyInside) QVERIFY(busy);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QTest::qWait(20);
    QVERIFY(catcher.shown.empty());
    QVERIFY(form.postedRan);
}

void Form8Test::refreshWithoutApplicationKeepsTheOldLines() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    host.setRunning(false);

    MessageCatcher catcher;
    QTest::mouseClick(control(form, "Command2"), Qt::LeftButton);

    QCOMPARE(catcher.shown.size(), std::size_t{1});
    QCOMPARE(catcher.shown.front().text, qs(texts::kNoWorkbook));
    QVERIFY(catcher.shown.front().parentVisible);
    QVERIFY2(!catcher.shown.front().busyCursor, "busy cursor gone before the message");
    QCOMPARE(control<QLabel>(form, "Label1")->text(), workbookLine("Book1.xlsx"));
    QCOMPARE(control<QLabel>(form, "Label2")->text(), sheetLine("Sheet1"));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void Form8Test::smartMergeMergesTheTypedRange() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    const std::vector<CellValue> column{CellValue::text("华东"), CellValue::text("华东"),
                                        CellValue::text("华东"), CellValue::text("华北"),
                                        CellValue::text("华北"), CellValue::integer(7),
                                        CellValue::integer(7)};
    host.setCells("Sheet1", "B2:B8", column);
    ProbeForm8 form(host);
    form.open();
    QTest::keyClicks(control(form, "Text1"), "B2:B8");

    form.forget();
    MessageCatcher catcher;
    QTest::mouseClick(control(form, "Command3"), Qt::LeftButton);

    QCOMPARE(host.mergedAreas("Sheet1"),
             (std::vector<std::string>{"$B$2:$B$4", "$B$5:$B$6", "$B$7:$B$8"}));
    const auto after = host.cells("Sheet1", "B2:B8");
    QCOMPARE(after.size(), column.size());
    for (std::size_t i = 0; i < column.size(); ++i) QVERIFY(identical(after[i], column[i]));
    QCOMPARE(host.sheetNames(), (std::vector<std::string>{"Sheet1"}));

    QCOMPARE(catcher.shown.size(), std::size_t{1});
    QCOMPARE(catcher.shown.front().text, QStringLiteral("已完成单元格合并！"));
    QCOMPARE(catcher.shown.front().parent, static_cast<QWidget*>(&form));
    QVERIFY2(!catcher.shown.front().busyCursor, "busy cursor gone before the message");
    QVERIFY(!form.busyInside.empty());
    for (bool busy : form.busyInside) QVERIFY(busy);
    QVERIFY2(!form.postedRanBeforeMessage, "no event processing inside the handler");
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void Form8Test::unmergeFillsTheTypedRange() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    host.setCells(
        "Sheet1", "B2:B6",
        {CellValue::text("华东"), CellValue(), CellValue(), CellValue::integer(7), CellValue()});
    host.mergeCells("Sheet1", "B2:B4");
    host.mergeCells("Sheet1", "B5:B6");
    ProbeForm8 form(host);
    form.open();
    QTest::keyClicks(control(form, "Text1"), "B2:B6");

    form.forget();
    MessageCatcher catcher;
    QTest::mouseClick(control(form, "Command4"), Qt::LeftButton);

    QVERIFY(host.mergedAreas("Sheet1").empty());
    const std::vector<CellValue> expected{CellValue::text("华东"), CellValue::text("华东"),
                                          CellValue::text("华东"), CellValue::integer(7),
                                          CellValue::integer(7)};
    const auto after = host.cells("Sheet1", "B2:B6");
    QCOMPARE(after.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        QVERIFY2(identical(after[i], expected[i]), qPrintable(QString::number(i)));

    QCOMPARE(catcher.shown.size(), std::size_t{1});
    QCOMPARE(catcher.shown.front().text, QStringLiteral("已取消单元格合并！"));
    QVERIFY2(!catcher.shown.front().busyCursor, "busy cursor gone before the message");
    QVERIFY(!form.busyInside.empty());
    for (bool busy : form.busyInside) QVERIFY(busy);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void Form8Test::aHandlerMeetingAnUnexpectedExceptionEndsWithItsMessage_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("message");
    const QString unexpected = qs(texts::kReasonUnexpected);
    QTest::newRow("refresh") << QByteArray("Command2") << QStringLiteral("Activeworkbook")
                             << unexpected;
    QTest::newRow("smart merge") << QByteArray("Command3") << QStringLiteral("SheetsAdd")
                                 << qs(texts::kMergeNothing) + unexpected;
    QTest::newRow("unmerge") << QByteArray("Command4") << QStringLiteral("UnMerge")
                             << qs(texts::kUnmergeStopped) + unexpected;
}

// The slot returns into the event loop as after any click: one message, shown without the
// busy cursor, and no cursor left behind.
void Form8Test::aHandlerMeetingAnUnexpectedExceptionEndsWithItsMessage() {
    QFETCH(QByteArray, button);
    QFETCH(QString, op);
    QFETCH(QString, message);
    MemoryHost memory;
    memory.addWorkbook("Book1.xlsx");
    memory.setCells("Sheet1", "B2:B3", {CellValue::text("a"), CellValue::text("a")});
    ThrowingHost host(memory);
    Form8 form(host);
    form.open();
    QTest::keyClicks(control(form, "Text1"), "B2:B3");
    host.throwAt(op.toStdString(), [] { throw std::bad_alloc(); });

    MessageCatcher catcher;
    QTest::mouseClick(control(form, button.constData()), Qt::LeftButton);

    QVERIFY(host.thrown());
    QCOMPARE(catcher.shown.size(), std::size_t{1});
    QCOMPARE(catcher.shown.front().text, message);
    QVERIFY2(!catcher.shown.front().busyCursor, "busy cursor gone before the message");
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(host.runsEnded(), host.runsBegun());
    QCOMPARE(memory.liveHandles(), std::size_t{0});
}

}  // namespace gridmoor

QTEST_MAIN(gridmoor::Form8Test)
#include "Form8Test.moc"
