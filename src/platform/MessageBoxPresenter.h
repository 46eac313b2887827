#pragma once

#include <QString>

namespace brevant {

// Message boxes for the user, with one OK button.
class MessageBoxPresenter
{
public:
    enum class Icon
    {
        Critical, // the critical-stop icon
        Warning
    };

    virtual ~MessageBoxPresenter() = default;

    // An error the program meets on its own (the application's title as caption). At most one is
    // open at a time: a message that arrives while one is open is dropped.
    virtual void showError(const QString& text) = 0;
    // A message about what the user has just done, with its own title and icon: the action that
    // raised it goes on only after the user has closed it, so that several arrive one after the
    // other and none is lost.
    virtual void showMessage(Icon icon, const QString& title, const QString& text) = 0;
};

} // namespace brevant
