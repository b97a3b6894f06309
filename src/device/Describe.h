#pragma once

#include "values/Descriptions.h"

// Name, Title and Hint of a value's description, as the model fills them.
inline void Describe(TDescriptionOfValue& d, const QString& name, const QString& title, const QString& hint)
{
    d.SetName(name);
    d.Title = title;
    d.Hint = hint;
}
