// The save-list window at start: the import of close.exe's list, the grid and Close.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/Settings.h"
#include "controls/XpCmdButton.h"
#include "engine/WindowsModel.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

// close.exe's list of three closed applications, the second without a saved file.
const QByteArray ClosedApps = "[CloseApp]\nCount=3\n1=Writer\n2=Sheet\n3=Mail\n"
                              "[Date]\n1=2026-12-03\n2=2026-12-01\n3=2026-12-02\n"
                              "[Time]\n1=10:00:00\n2=11:00:00\n3=12:00:00\n"
                              "[SaveAppFileName]\n1=/home/u/a.odt\n3=/home/u/c.eml\n";

struct SaveListStart
{
    explicit SaveListStart(const QString& saveList, const QString& closeAppFlag = QStringLiteral("1"))
        : f({{key::SaveList, saveList}, {key::CloseAppFlag, closeAppFlag}})
        , window(f.engine())
    {
        testsupport::writeFile(f.paths().closeAppList(), ClosedApps);
        f.engine().finishSplash();
    }
    QTableView* grid() { return window.findChild<QTableView*>(QStringLiteral("MSFlexGrid3")); }
    QStringList column(int column)
    {
        QStringList values;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            values.append(grid()->model()->index(row, column).data().toString());
        return values;
    }

    EngineFixture f;
    SaveListWindow window;
};

} // namespace

class TestSaveListWindow : public QObject
{
    Q_OBJECT

private slots:
    void notShownUnlessAsked();
    void showsTheImportSortedAndCloseClearsTheRequest();
    void showsTheTableAsStoredWithoutImport();
    void windowManagerCloseIsClose();
    void gridFollowsTheTable();
};

void TestSaveListWindow::notShownUnlessAsked()
{
    SaveListStart s(QStringLiteral("0"));
    QVERIFY(!s.window.isVisible());
}

void TestSaveListWindow::showsTheImportSortedAndCloseClearsTheRequest()
{
    SaveListStart s(QStringLiteral("1"));
    QVERIFY(s.window.isVisible());
    QVERIFY(s.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(s.window.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), QStringLiteral("Save List"));
    QCOMPARE(s.window.windowTitle(), QStringLiteral("Save List"));
    QCOMPARE(s.column(2), QStringList({"Mail", "Writer"})); // by date; the entry without a file is left out
    QCOMPARE(s.column(3), QStringList({"/home/u/c.eml", "/home/u/a.odt"}));
    const QStringList headers{"Date", "Time", "AppName", "SaveAppFileName"};
    const int twips[] = {1500, 1500, 3000, 5900};
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(s.grid()->model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
        QCOMPARE(s.grid()->columnWidth(column), twips[column] * s.window.logicalDpiX() / 1440);
    }
    QVERIFY(s.grid()->editTriggers() == QAbstractItemView::NoEditTriggers);
    QVERIFY(s.window.rect().contains(s.grid()->geometry()));

    QTest::mouseClick(s.window.findChild<XpCmdButton*>(QStringLiteral("xpcmdbutton1")), Qt::LeftButton);
    QVERIFY(!s.window.isVisible());
    QCOMPARE(s.f.get(key::SaveList), QStringLiteral("0"));
    QVERIFY(!s.f.engine().windows().isVisible(WindowsModel::frmMain));
    QVERIFY(!s.f.engine().settings().saveListWanted()); // not shown at the next start
}

void TestSaveListWindow::showsTheTableAsStoredWithoutImport()
{
    SaveListStart s(QStringLiteral("1"), QStringLiteral("0"));
    QVERIFY(s.window.isVisible());
    QCOMPARE(s.grid()->model()->rowCount(), 0);
    QCOMPARE(s.f.engine().records().recordCount(RecordTableId::CloseApp), 0);
}

void TestSaveListWindow::windowManagerCloseIsClose()
{
    SaveListStart s(QStringLiteral("1"));
    s.window.close();
    QVERIFY(!s.window.isVisible());
    QVERIFY(!s.f.engine().windows().isVisible(WindowsModel::frmSave));
    QCOMPARE(s.f.get(key::SaveList), QStringLiteral("0"));
}

void TestSaveListWindow::gridFollowsTheTable()
{
    SaveListStart s(QStringLiteral("1"));
    QCOMPARE(s.grid()->model()->rowCount(), 2);
    s.f.engine().records().clearTable(RecordTableId::CloseApp);
    QCOMPARE(s.grid()->model()->rowCount(), 0);
}

QTEST_MAIN(TestSaveListWindow)
#include "tst_savelistwindow.moc"
