#pragma once

#include <QString>

// The page's password is kept as a salted hash: "pbkdf2-sha256$<iterations>$<salt>$<hash>", the
// salt and the hash in hex. Taking one costs some tens of milliseconds, on purpose.
QString HashPassword(const QString& password);
// False for a wrong password and for a stored text of any other form.
bool CheckPassword(const QString& password, const QString& stored);
