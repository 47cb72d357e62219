#pragma once

#include <QString>

#include <cstdint>

namespace settings {

// The five user settings as the main window uses them.
struct Props
{
    bool showfilename = true;
    bool selectfolder = true;
    std::int16_t thumbwidth = 100;
    std::int16_t thumbheight = 100;
    QString imageerw = QStringLiteral("jpg");
};

// Reads the settings from the user's store.
Props readProps();

} // namespace settings
