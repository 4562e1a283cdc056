// The test parameters: the description of the test that a reconstruction
// reads, in nanometres and radians, and the image pairs to reconstruct.
#pragma once

#include <cstdint>
#include <memory>

namespace caustica {

class TPupille;

// The image references do not own their grids: each grid belongs to the
// window showing it. A reference taken at "Ok" turns empty by itself when
// that window closes and frees its grid, so a reconstruction can never read
// a freed image (lock() gives nullptr then).
using TImageRef = std::weak_ptr<TPupille>;

// Every field 0 / empty by default: the record at program start.
struct TParametres {
  double Focale = 0.0;           // nm
  double Rayon = 0.0;            // nm, radius of the pupil
  double Defocalisation = 0.0;   // nm
  double DistanceSource = 0.0;   // nm, 0 = at infinity
  double AstigX = 0.0;           // nm, Zernike term 5
  double AstigY = 0.0;           // nm, term 6
  double ComaX = 0.0;            // nm, term 7
  double ComaY = 0.0;            // nm, term 8
  double Spherique = 0.0;        // nm, term 11
  bool Autocollimation = false;  // the wavefront is halved
  double Incidence = 0.0;        // radians
  double Obstruction = 0.0;      // known central obstruction, fraction of the radius; 0: measured
  TImageRef Intra;               // the pair reconstructed now
  TImageRef Extra;
  TImageRef IntraBleu;
  TImageRef ExtraBleu;
  TImageRef IntraVert;
  TImageRef ExtraVert;
  TImageRef IntraRouge;
  TImageRef ExtraRouge;
  std::uint8_t ModeTraitement = 0;  // 0 "Simple", 1 "Polychromatic", 255 none chosen
  bool ParamValides = false;
};

extern TParametres Parametres;

}  // namespace caustica
