#include "files/InputsConfigFile.h"

#include <cstddef>
#include <cstdint>

namespace {

void Check(const TConfigRead& read)
{
    for (qsizetype i = 0; i < read.Rows.size(); ++i) {
        const TConfigRow& row = read.Rows[i];
        if (row.Input < 1 || row.Input > vantor::kInputCount || row.Fields < 1 || row.Fields > 5)
            __builtin_trap();
        // Only the line that stopped the reading may be partial.
        const bool last = i == read.Rows.size() - 1;
        if (row.Fields < 5 && !(last && read.ErrorLine > 0))
            __builtin_trap();
        // A set-point that was read is one the register carries.
        if (row.Fields >= 3 && !SetPointFits(row.Settings.Bound))
            __builtin_trap();
    }
}

}  // namespace

// Any bytes as a configuration file, read under a decimal-comma and a decimal-point locale.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    Check(ParseInputsConfig(bytes, russian));
    Check(ParseInputsConfig(bytes, QLocale::c()));
    return 0;
}
