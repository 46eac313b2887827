#include "TestFiles.h"
#include "platform/qt/QtProcessStarter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

class TestProcessStarter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QFile::remove(m_marker); }
    void programRunsDetachedWithoutArguments();
    void unstartableProgramReportsFailure_data();
    void unstartableProgramReportsFailure();

private:
    QTemporaryDir m_dir;
    QString m_marker;
};

void TestProcessStarter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_marker = m_dir.filePath(QStringLiteral("ran"));
    qputenv("BREVANT_TEST_MARKER", QFile::encodeName(m_marker));
}

void TestProcessStarter::programRunsDetachedWithoutArguments()
{
    QtProcessStarter starter;
    QVERIFY(starter.startDetached(QStringLiteral(RECORDER_SCRIPT)));
    QTRY_COMPARE(testsupport::readFile(m_marker), QByteArray("args=0\n"));
}

void TestProcessStarter::unstartableProgramReportsFailure_data()
{
    QTest::addColumn<QString>("program");
    const QString notExecutable = m_dir.filePath(QStringLiteral("close.exe"));
    testsupport::writeFile(notExecutable, "#!/bin/sh\necho started >> \"$BREVANT_TEST_MARKER\"\n");
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("absent.exe"));
    QTest::newRow("not executable") << notExecutable;
    QTest::newRow("directory") << m_dir.path();
}

void TestProcessStarter::unstartableProgramReportsFailure()
{
    QFETCH(QString, program);
    QtProcessStarter starter;
    QVERIFY(!starter.startDetached(program));
    QVERIFY(!QFile::exists(m_marker));
}

QTEST_GUILESS_MAIN(TestProcessStarter)
#include "tst_processstarter.moc"
