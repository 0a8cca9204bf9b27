#pragma once

#include <QString>

// Length rule the service sets for new passwords.
namespace PasswordRules {
constexpr int kMinLength = 6;
constexpr int kMaxLength = 20;

inline bool lengthAccepted(const QString &password)
{
    return password.size() >= kMinLength && password.size() <= kMaxLength;
}
} // namespace PasswordRules
