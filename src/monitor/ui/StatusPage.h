#pragma once

#include "monitor/StatusDisplay.h"

#include <QWidget>
#include <array>

class QLabel;

namespace brevant {

class Confirmation;
class Countdown;
class Readiness;
struct ReadinessVerdict;
class PictureView;
class XpCmdButton;

// The Status page (frmStatus): the power-flow picture with its pipes and flow frames, the status
// text, the three status pictures, the countdown text and the Shutdown button. Under the picture,
// a group of our own shows what the UPS reports besides its state (charge, runtime, load, model):
// only the values the link gives, and nothing at all on a serial UPS or one that does not answer. It draws
// the status model and nothing more; the Shutdown button goes to the confirmation.
//
// Nothing animates that nobody sees: while the page is hidden, or its window minimised, the
// model's animation timers are paused and the page draws nothing; the timers go on in phase and
// the page shows the model as it is when it is seen again.
class StatusPage : public QWidget
{
    Q_OBJECT

public:
    // What the page draws and where its Shutdown button goes.
    struct Parts
    {
        StatusDisplay& display;
        Countdown& countdown;
        Confirmation& confirmation;
        Readiness& readiness; // "Am I protected?", in one line under the status
    };

    explicit StatusPage(Parts parts, QWidget* parent = nullptr);
    ~StatusPage() override;

signals:
    // The help button beside the protection line: the page that explains each reason.
    void protectionHelpRequested();

public:
    // Pauses or resumes the animation by whether the user can see the page now, and releases the
    // rendered pictures while the whole window is out of sight. The page calls it on its own show
    // and hide; its window calls it when it is minimised or restored.
    void followVisibility();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class Scene;

    // Draws the whole model, as the page comes into sight.
    void showModel();
    void showElement(StatusDisplay::Element element, bool visible);
    void showMessage(const QString& text, quint32 color);
    void showFlowPicture(int frame);
    void showVerdict(const ReadinessVerdict& verdict);
    void showDetails(const UpsDetails& details);

    StatusDisplay& m_display;
    Countdown& m_countdown;
    Confirmation& m_confirmation;
    Scene* m_scene;
    std::array<QWidget*, StatusDisplay::ElementCount> m_elements{};
    PictureView* m_flow;
    PictureView* m_disconnected;
    QLabel* m_message;
    QLabel* m_alarm;
    QLabel* m_protection;
    QWidget* m_detailsGroup;
    QLabel* m_charge;
    QLabel* m_runtime;
    QLabel* m_load;
    QLabel* m_model;
    XpCmdButton* m_shutdown;
    bool m_seen = false; // unseen, the page follows no change: it catches up when it is seen
};

} // namespace brevant
