#include "dialogs/InputSettingsTable.h"

TInputSettingsTable& InputSettingsTable()
{
    static TInputSettingsTable table{};
    return table;
}
