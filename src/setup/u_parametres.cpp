#include "setup/u_parametres.h"

namespace caustica {

TParametres Parametres;

}  // namespace caustica
