#pragma once

#include <QWidget>

namespace brevant {

// One picture of the art set, drawn crisp at the widget's size. An empty picture draws nothing,
// and the widget lets the pointer through to what lies below it.
class PictureView : public QWidget
{
    Q_OBJECT

public:
    PictureView(const QString& objectName, QSize size, QWidget* parent);

    QString picture() const { return m_picture; }
    void setPicture(const QString& resourcePath);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_picture;
};

} // namespace brevant
