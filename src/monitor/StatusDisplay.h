#pragma once

#include "link/UpsDetails.h"
#include "monitor/PowerStatus.h"

#include <QObject>
#include <QString>
#include <array>
#include <memory>

namespace brevant {

class AnimationClock;
class Scheduler;

// The Status page as a model: which pictures are visible, the status text and its colour, whether
// the Shutdown button is enabled, and the timers that animate the power-flow pipes.
class StatusDisplay : public QObject
{
    Q_OBJECT

public:
    enum Element
    {
        Image1,   // mains-flow picture, frames of the flow animation
        ImageAC1, // mains pipe, two phases
        ImageAC2,
        ImageDC1, // battery pipe, two phases
        ImageDC2,
        ImageBL1, // low-battery pipe, two phases
        ImageBL2,
        ImaSOk, // status pictures
        ImaSLow,
        ImaAlarm,
        ElementCount
    };
    Q_ENUM(Element)

    static constexpr quint32 Green = 0x008000;  // RGB(0, 128, 0)
    static constexpr quint32 Orange = 0xFF8000; // RGB(255, 128, 0)
    static constexpr quint32 Red = 0xFF0000;    // RGB(255, 0, 0)
    static constexpr quint32 Black = 0x000000;

    explicit StatusDisplay(Scheduler& scheduler, QObject* parent = nullptr);
    ~StatusDisplay() override;

    // What the power-state machine decided for this tick, drawn: the status pictures, pipes,
    // message and Shutdown button of each state.
    // With it, what the UPS reported besides its state (nothing while it does not answer).
    void show(PowerStatus status, const UpsDetails& details = {});
    const UpsDetails& details() const { return m_details; }

    // The mains pipe with its animation. It is only ever shown while the UPS answers (a silent
    // USB UPS gets the still pipe of showDisconnected), so the animation always starts.
    void AcPipeDisplay();
    void AcPipeDisable();
    void DcPipeDisplay();
    void DcPipeDisable();
    void LowPipeDisplay();
    void LowPipeDisable();
    // The display half of the lost-link view: still mains pipe, no animation, no Shutdown button,
    // "UPS Disconnect" in the colour the text had, no status pictures.
    void showDisconnected();

    bool isVisible(Element element) const { return m_visible[element]; }
    void setVisible(Element element, bool visible);

    QString message() const { return m_message; }
    quint32 messageColor() const { return m_messageColor; } // 0xRRGGBB
    // "#RRGGBB", as style sheets and reports write a colour.
    static QString colorName(quint32 rgb);
    void setMessage(const QString& text, quint32 color);
    void setMessageText(const QString& text);

    bool shutdownEnabled() const { return m_shutdownEnabled; }
    void setShutdownEnabled(bool enabled);

    // Frame of `Image1` from the flow image list (1..6).
    int flowPicture() const { return m_flowPicture; }
    quint8 flowFrame() const { return m_flowFrame; }
    qint16 flowCycles() const { return m_flowCycles; }

    enum AnimationTimer
    {
        Timer4,
        Timer5,
        Timer6,
        Timer7
    };
    bool isRunning(AnimationTimer timer) const;

    // While nobody sees the page its animation timers stop, and the model keeps their time on
    // paper: every display operation, and the resume, first runs the steps that fell due
    // meanwhile. So the page reads exactly as if the timers had run, and they go on in phase.
    void pauseAnimation();
    void resumeAnimation();
    bool isAnimationPaused() const;

signals:
    void elementChanged(brevant::StatusDisplay::Element element, bool visible);
    void messageChanged(const QString& text, quint32 color);
    void shutdownEnabledChanged(bool enabled);
    void flowPictureChanged(int picture);
    void detailsChanged(const brevant::UpsDetails& details);

private:
    void Timer4_Timer();
    void Timer5_Timer();
    void Timer6_Timer();
    void Timer7_Timer();
    void swapPhases(Element first, Element second);
    void setFlowPicture(int picture);

    std::array<bool, ElementCount> m_visible{};
    QString m_message;
    UpsDetails m_details;
    quint32 m_messageColor = Black;
    bool m_shutdownEnabled = false;
    int m_flowPicture = 0; // the picture placed on the page, before any animation frame
    quint8 m_flowFrame = 0;
    qint16 m_flowCycles = 0;
    std::unique_ptr<AnimationClock> m_clock;
    int m_timer4;
    int m_timer5;
    int m_timer6;
    int m_timer7;
};

} // namespace brevant
