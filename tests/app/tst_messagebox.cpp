#include "platform/qtwidgets/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

// Error messages on screen: one box at a time, never a pile of them behind each other.
class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void oneErrorMessageAtATime()
    {
        brevant::QtMessageBox messages;
        QMessageBox* shown = nullptr;
        const auto open = [&shown] {
            QStringList texts;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    texts.append((shown = box)->text());
            }
            return texts;
        };
        messages.showError(QStringLiteral("first"));
        messages.showError(QStringLiteral("second"));
        QCOMPARE(open(), QStringList{"first"});
        shown->close();
        QTRY_COMPARE(open(), QStringList());
        messages.showError(QStringLiteral("third"));
        QCOMPARE(open(), QStringList{"third"});
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
