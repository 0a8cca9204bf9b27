#pragma once

#include <QString>

struct UserSession;

// Reading a user's enciphered download index (the record of the user and their download
// list, beside the store file in the user's own folder) and the rule for signing the last
// user in again from it. Writing goes through IndexWriter.
class UserIndex
{
public:
    static constexpr qint64 SignInDays = 7;

    // The enciphered index of a user store file ("kecheng.zg" + "c").
    static QString fileFor(const QString &userStoreFile);
    // Reads a user record from an enciphered index; false when the file is missing or empty.
    static bool read(const QString &indexFile, UserSession &user);
    // Whether a stored record signs its user in again without asking: written by 2.0.0.0 or
    // later, and signed in under SignInDays days before now.
    static bool signsInAgain(const UserSession &user);
};
