#pragma once

#include <QString>

// The operator's reason for a failed system call, in Russian, for what an operator can meet (disk
// full, no access, missing, busy), with the system's own text after it as a detail:
// "диск переполнен (No space left on device)". Any other error keeps only the system's text after
// a Russian lead.
QString RussianReason(int error);
// The same from the system's text of an error (what the toolkit's file classes report), for
// callers that no longer have the error number.
QString RussianReason(const QString& systemText);
