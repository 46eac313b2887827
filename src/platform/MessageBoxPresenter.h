#pragma once

#include <QString>

namespace brevant {

// Error messages for the user (one OK button, the application's title as caption). An
// implementation shows at most one box at a time: a message that arrives while one is open is
// dropped.
class MessageBoxPresenter
{
public:
    virtual ~MessageBoxPresenter() = default;
    virtual void showError(const QString& text) = 0;
};

} // namespace brevant
