#include "app/icons.h"

#include <QString>

// The bundled set lives in a static library: its resources are pulled in here.
static void LoadBundledIcons() { Q_INIT_RESOURCE(icons); }

namespace caustica {

namespace {

QIcon Bundled(const char* name) {
  static const bool loaded = (LoadBundledIcons(), true);
  (void)loaded;
  return QIcon(QString(":/icons/%1.svg").arg(QLatin1String(name)));
}

}  // namespace

QIcon ThemeIcon(const char* name) { return QIcon::fromTheme(QLatin1String(name), Bundled(name)); }

QIcon ProgramIcon() { return Bundled("caustica"); }

}  // namespace caustica
