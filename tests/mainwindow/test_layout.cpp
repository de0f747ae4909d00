#include "application.h"
#include "clickablepanel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace mainwindow;

namespace {

enum Mode { ModeDIX = 0, ModeQL = 1, ModeERK2 = 2 };

QWidget* control(const TForm1& w, const char* name)
{
    return w.findChild<QWidget*>(QString::fromLatin1(name));
}

// Which of the large panels and pop-ups are visible, as a compact text.
QString visiblePanels(const TForm1& w)
{
    QStringList shown;
    const std::pair<const char*, const char*> panels[] = {
        {"Rab", "RabPanel"},       {"Meny", "MenyPanel"},   {"QL", "QLpanelGL"},  {"ERK2", "ERK2Panel"},
        {"Sum", "OtprSumPanel1"},  {"Litr", "OtpLitrPanel1"}, {"Price", "SumPanel"}, {"Totals", "SummarnikiPanel"},
    };
    for (const auto& [shortName, name] : panels)
        if (const QWidget* panel = control(w, name); panel && panel->isVisibleTo(&w))
            shown << QString::fromLatin1(shortName);
    return shown.join(u' ');
}

bool hintsVisible(const TForm1& w)
{
    if (!control(w, "Label10"))
        return false; // the memory panel is not built yet
    return control(w, "Label10")->isVisibleTo(&w) && control(w, "Label12")->isVisibleTo(&w)
        && control(w, "Label13")->isVisibleTo(&w);
}

void selectMode(TForm1& w, int mode)
{
    static const char* const names[] = {"prog_DIX", "prog_QL", "prog_ERK2"};
    QTest::mouseClick(control(w, names[mode]), Qt::LeftButton);
}

} // namespace

class TestMainWindowLayout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startState();
    void addressList();
    void modeSwitching_data();
    void modeSwitching();
    void popupBackgroundClicks_data();
    void popupBackgroundClicks();
    void clickOnPopupLabelIsNotABackgroundClick();
    void resizeInvariants_data();
    void resizeInvariants();
    void shrinkingBelowStatusGroupRestoresHeight();

private:
    ProgramWindows windows_;
    TForm1* w_ = nullptr;
};

void TestMainWindowLayout::init()
{
    windows_ = createProgramWindows();
    w_ = windows_.Form1.get();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_));
}

void TestMainWindowLayout::cleanup()
{
    windows_ = {};
    w_ = nullptr;
}

void TestMainWindowLayout::startState()
{
    QCOMPARE(w_->windowTitle(), QStringLiteral("QLDIXw V2.32"));
    QCOMPARE(w_->mode(), int(ModeDIX));
    QCOMPARE(visiblePanels(*w_), QStringLiteral("Rab Meny"));
    QVERIFY(!hintsVisible(*w_));
    QVERIFY(!w_->findChild<QCheckBox*>(QStringLiteral("proteus_check"))->isChecked());
    QCOMPARE(w_->outerWidth(), 856);
    QCOMPARE(w_->outerHeight(), 729);
    QVERIFY(!windows_.Form2()->isVisible());
    QVERIFY(!windows_.Form3()->isVisible());
    QCOMPARE(windows_.Form2()->windowTitle(), QStringLiteral("COM-порт настройка"));
    QCOMPARE(windows_.Form3()->windowTitle(), QStringLiteral("QLDIXw V2.0 о программе"));
    QCOMPARE(w_->font().pixelSize(), 11);
    // The modes not shown are built when first chosen, with the layout of the moment.
    QVERIFY(!control(*w_, "QLpanelGL"));
    QVERIFY(!control(*w_, "ERK2Panel"));
    selectMode(*w_, ModeQL);
    QCOMPARE(control(*w_, "QLpanelGL")->width(), w_->outerWidth() - control(*w_, "QLpanelGL")->x() - 10);
    selectMode(*w_, ModeERK2);
    selectMode(*w_, ModeDIX);
    QCOMPARE(visiblePanels(*w_), QStringLiteral("Rab Meny"));

    // Every named control is findable through its accessible description.
    for (const QWidget* control : w_->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if (!name.isEmpty() && !name.startsWith(QStringLiteral("qt_")) && name != QStringLiteral("TForm1_client"))
            QVERIFY2(control->accessibleDescription() == name, qPrintable(name));
    }
    for (const char* name : {"prog", "kontroller", "proteus_check", "RabPanel", "MenyPanel", "QLpanelGL",
                             "ERK2Panel", "dannieListBox1", "otpravedit", "Memo2", "Memo_log", "StatPanel"}) {
        auto* control = w_->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(control, name);
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(name));
    }
}

void TestMainWindowLayout::addressList()
{
    auto* kontroller = w_->findChild<QComboBox*>(QStringLiteral("kontroller"));
    QCOMPARE(kontroller->count(), 127);
    QCOMPARE(kontroller->itemText(0), QStringLiteral("01"));
    QCOMPARE(kontroller->itemText(0x0F - 1), QStringLiteral("0F"));
    QCOMPARE(kontroller->itemText(126), QStringLiteral("7F"));
    QCOMPARE(kontroller->currentText(), QStringLiteral("01"));
    QCOMPARE(kontroller->findText(QStringLiteral("00")), -1);
    QCOMPARE(kontroller->findText(QStringLiteral("80")), -1);

    kontroller->lineEdit()->clear();
    QTest::keyClicks(kontroller->lineEdit(), QStringLiteral("7F3"));
    QCOMPARE(kontroller->currentText(), QStringLiteral("7F"));
}

void TestMainWindowLayout::modeSwitching_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<QString>("panels");
    QTest::addColumn<bool>("hints");
    QTest::newRow("QL") << QList<int>{ModeQL} << "QL" << true;
    QTest::newRow("ERK2 after DIX") << QList<int>{ModeERK2} << "ERK2" << false;
    QTest::newRow("ERK2 after QL keeps hints") << QList<int>{ModeQL, ModeERK2} << "ERK2" << true;
    QTest::newRow("back to DIX") << QList<int>{ModeQL, ModeERK2, ModeDIX} << "Rab Meny" << false;
}

void TestMainWindowLayout::modeSwitching()
{
    QFETCH(QList<int>, modes);
    QFETCH(QString, panels);
    QFETCH(bool, hints);
    for (int mode : modes)
        selectMode(*w_, mode);
    QCOMPARE(w_->mode(), modes.back());
    QCOMPARE(visiblePanels(*w_), panels);
    QCOMPARE(hintsVisible(*w_), hints);
}

void TestMainWindowLayout::popupBackgroundClicks_data()
{
    QTest::addColumn<QString>("popup");
    QTest::addColumn<QString>("panelsAfter");
    QTest::newRow("money") << "OtprSumPanel1" << "Rab Meny";
    QTest::newRow("totalisers") << "SummarnikiPanel" << "Rab Meny";
    QTest::newRow("volume") << "OtpLitrPanel1" << "";
    QTest::newRow("price") << "SumPanel" << "";
}

void TestMainWindowLayout::popupBackgroundClicks()
{
    QFETCH(QString, popup);
    QFETCH(QString, panelsAfter);
    auto* panel = w_->findChild<dispenser::ClickablePanel*>(popup);
    QVERIFY(panel);
    panel->show();
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(panel->width() - 3, panel->height() - 3));
    QCOMPARE(visiblePanels(*w_), panelsAfter);

    // Selecting DIX again brings the mode's panels back and closes any pop-up.
    panel->show();
    selectMode(*w_, ModeDIX);
    QCOMPARE(visiblePanels(*w_), QStringLiteral("Rab Meny"));
}

void TestMainWindowLayout::clickOnPopupLabelIsNotABackgroundClick()
{
    auto* panel = control(*w_, "OtprSumPanel1");
    panel->show();
    auto* title = panel->findChild<QLabel*>();
    QVERIFY(title);
    QTest::mouseClick(title, Qt::LeftButton);
    QCOMPARE(visiblePanels(*w_), QStringLiteral("Rab Meny Sum"));
}

void TestMainWindowLayout::resizeInvariants_data()
{
    QTest::addColumn<QSize>("outer");
    // The memory panel laid out on resize, or built later with the size of the moment.
    QTest::addColumn<bool>("memoryBuiltFirst");
    QTest::newRow("start") << QSize(856, 729) << false;
    QTest::newRow("minimum width") << QSize(750, 600) << true;
    QTest::newRow("minimum width, memory built after") << QSize(750, 600) << false;
    QTest::newRow("wide and tall") << QSize(1400, 1000) << true;
    QTest::newRow("wide and tall, memory built after") << QSize(1400, 1000) << false;
}

void TestMainWindowLayout::resizeInvariants()
{
    QFETCH(QSize, outer);
    QFETCH(bool, memoryBuiltFirst);
    if (memoryBuiltFirst) {
        selectMode(*w_, ModeQL);
        selectMode(*w_, ModeDIX);
    }
    const WindowChrome c = w_->chrome();
    w_->resize(outer.width() - 2 * c.frame, outer.height() - c.caption - 2 * c.frame);
    QTRY_COMPARE(w_->outerWidth(), outer.width());
    QCOMPARE(w_->outerHeight(), outer.height());
    if (!memoryBuiltFirst) {
        QVERIFY(!control(*w_, "QLpanelGL"));
        selectMode(*w_, ModeQL);
        selectMode(*w_, ModeDIX);
    }

    const QWidget* meny = control(*w_, "MenyPanel");
    const QWidget* rab = control(*w_, "RabPanel");
    const QWidget* log = control(*w_, "dannieListBox1");
    const QWidget* line = control(*w_, "otpravedit");
    const QWidget* ql = control(*w_, "QLpanelGL");
    QCOMPARE(meny->x() + meny->width(), outer.width() - 10);
    QCOMPARE(meny->y() + meny->height(), outer.height() - 10 - c.total());
    QCOMPARE(rab->width(), outer.width() - meny->width() - 20);
    QCOMPARE(log->width(), rab->width() - 10);
    QCOMPARE(line->width(), log->width());
    QCOMPARE(log->height(), rab->height() - line->height() - 50);
    QCOMPARE(rab->y() + rab->height(), outer.height() - 10 - c.total());
    QCOMPARE(ql->height(), rab->height());
    QCOMPARE(ql->x() + ql->width(), outer.width() - 10);
    for (const char* popup : {"OtprSumPanel1", "OtpLitrPanel1", "SumPanel", "SummarnikiPanel"})
        QCOMPARE(control(*w_, popup)->x() + control(*w_, popup)->width(), meny->x());
    const QWidget* firstPane = control(*w_, "dannielistBoxQLIR");
    for (const char* pane : {"dannielistBoxQLIR", "dannielistBoxQLEX", "dannielistBoxQLIM", "dannielistBoxQLIF"})
        QCOMPARE(control(*w_, pane)->height(), ql->height() - control(*w_, pane)->y() - 100);
    QCOMPARE(control(*w_, "Memo2")->y(), firstPane->y() + firstPane->height() + 10);
}

void TestMainWindowLayout::shrinkingBelowStatusGroupRestoresHeight()
{
    const WindowChrome c = w_->chrome();
    const QWidget* statPanel = control(*w_, "StatPanel");
    const int needed = control(*w_, "MenyPanel")->y() + statPanel->y() + statPanel->height() + c.total();
    // Where the decoration is small, the minimum size alone keeps the window high
    // enough; lift it so the layout rule itself is what restores the height.
    w_->setMinimumSize(0, 0);
    w_->resize(w_->width(), needed - 60 - c.caption - 2 * c.frame);
    QTRY_COMPARE(w_->outerHeight(), needed);
    const QWidget* meny = control(*w_, "MenyPanel");
    QCOMPARE(meny->y() + meny->height(), needed - 10 - c.total());
}

QTEST_MAIN(TestMainWindowLayout)
#include "test_layout.moc"
