#pragma once

#include <QWidget>

namespace brevant {

// The start-up window: the program's name on a 341 × 204 picture, shown for two seconds.
class SplashScreen : public QWidget
{
    Q_OBJECT

public:
    explicit SplashScreen(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace brevant
