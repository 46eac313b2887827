#pragma once

#include <QWidget>

namespace brevant {

// Ending the monitor is a knowing choice: the close image asks first, in the program's own skinned
// style, whether the user wants the computer left unprotected. "Keep watching" has the focus, so
// a stray Enter or Space keeps the program; Escape and a close from the window manager answer the
// same.
class QuitQuestion : public QWidget
{
    Q_OBJECT

public:
    static const QString Question;

    explicit QuitQuestion(QWidget* parent = nullptr);

    // Shows the question, or brings it to the front when it is up.
    void ask();

signals:
    void quitChosen();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keepWatching();
};

} // namespace brevant
