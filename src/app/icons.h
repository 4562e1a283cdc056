// The icons of the program: the desktop's icon theme where it has the name,
// the program's own set otherwise, so the tool bars look right with no icon
// theme installed.
#pragma once

#include <QIcon>

namespace caustica {

// The theme's icon of that freedesktop name, else the bundled one.
QIcon ThemeIcon(const char* name);
// The program's own icon, on every window.
QIcon ProgramIcon();

}  // namespace caustica
