#pragma once

#include <QWidget>

namespace brevant {

class Confirmation;

// The confirmation window for a shutdown by hand and for clearing the record lists.
class QuestionWindow : public QWidget
{
    Q_OBJECT

public:
    explicit QuestionWindow(Confirmation& sequence, QWidget* parent = nullptr);
};

} // namespace brevant
