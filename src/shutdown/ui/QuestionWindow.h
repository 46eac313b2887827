#pragma once

#include <QWidget>

namespace brevant {

class Confirmation;

// The confirmation window (FrmQuestion) for a shutdown by hand and for clearing the record lists:
// a window framed by the skinned canvas, captioned "System Information", with the question and
// YES and NO. A further request while it is open brings it to the front with its question
// unchanged. A close from the window manager (Alt+F4, the task bar), and Escape, answer NO, so
// the window can always be asked for again.
class QuestionWindow : public QWidget
{
    Q_OBJECT

public:
    explicit QuestionWindow(Confirmation& confirmation, QWidget* parent = nullptr);

private:
    void bringUp();
};

} // namespace brevant
