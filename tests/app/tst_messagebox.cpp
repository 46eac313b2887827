#include "platform/qtwidgets/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

using namespace brevant;

// Error messages on screen: one box at a time, never a pile of them behind each other.
class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void oneErrorMessageAtATime();
};

void TestMessageBox::oneErrorMessageAtATime()
{
    QtMessageBox messages;
    const auto open = [] {
        QList<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.append(box);
        }
        return boxes;
    };
    messages.showError(QStringLiteral("first"));
    messages.showError(QStringLiteral("second"));
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().first()->text(), QStringLiteral("first"));
    open().first()->close();
    QTRY_COMPARE(open().size(), 0);
    messages.showError(QStringLiteral("third"));
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().first()->text(), QStringLiteral("third"));
    open().first()->close();
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
