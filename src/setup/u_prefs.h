// The user's lasting settings and their text file "Prefs.txt".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace caustica {

// The preference values. The member initialisers are the built-in defaults,
// so TkwValue{} is the defaults record that start-up and "Reset" copy whole.
struct TkwValue {
  std::uint8_t PltSignal = 0;
  std::uint8_t PltFront = 1;
  std::uint8_t PltPSF = 4;
  std::uint8_t PltInterfero = 5;
  std::uint8_t MemOptim = 0;
  std::uint8_t MasqueActif = 1;
  std::uint8_t FactMultDiff = 2;
  std::uint8_t NIter = 3;
  std::uint8_t ExtractDim = 16;
  std::uint8_t ExtractSeuil = 50;
  std::uint8_t ExtractAuto = 1;
  std::uint8_t BreakCondition = 0;
  double RMSFront = 0.0;
  double LambdaRef = 555.0;
  double LambdaInterfero = 555.0;
  double LambdaR = 0.0;
  double LambdaV = 0.0;
  double LambdaB = 0.0;
  double PoidsR = 1.0;
  double PoidsV = 1.0;
  double PoidsB = 1.0;
  std::uint8_t OriginFoc = 1;
  std::array<double, 43> Alertes{};  // [1..42], one per Zernike term
  std::string FichierAide;
  std::string DossierImages;
  std::string DossierRapports;
  std::uint8_t AjustAuto = 1;
  std::uint8_t SubTiltFocus = 1;
  std::uint8_t SubComa = 1;
  std::uint8_t NPolyZern = 22;
  std::uint8_t ModePoly = 0;
  std::uint8_t NDecNano = 2;
  std::uint8_t NDecMilli = 0;
  std::uint8_t NDecLambda = 0;
  std::uint8_t NDecPix = 0;
  std::uint8_t NDecStrehl = 0;
  std::uint8_t NDecADU = 0;
  std::uint8_t NDecDeg = 0;
  std::uint8_t NDecRed = 0;
  std::uint8_t NormRMS = 1;
  std::int32_t Diametre = 0;
  std::int32_t Focale = 0;
  std::int32_t PixelCCD = 0;
  std::uint8_t BinAcquisition = 1;
  std::uint8_t BinLogiciel = 1;

  bool operator==(const TkwValue&) const = default;
};

class TPreferences {
 public:
  TkwValue Valeurs;
};

// The history of image folders, in list order; stored as "Images" lines.
using TImageFolderHistory = std::vector<std::string>;

extern TPreferences Preferences;
extern TImageFolderHistory ImageFolderHistory;

// Start-up: Preferences := defaults, then the file is read.
void InitPreferences();
// The same from an explicit file, for tests.
void InitPreferences(const std::string& fileName);

// Read "Prefs.txt" into Preferences and ImageFolderHistory. False when there
// was no file or it could not be read; nothing changes then.
bool ReadPreferences();
// Write Preferences and ImageFolderHistory to "Prefs.txt". False when the file
// could not be written; the previous file is then untouched and error says why.
bool WritePreferences(std::string* error = nullptr);

// The same on an explicit file and explicit records.
bool ReadPreferences(const std::string& fileName, TPreferences& prefs, TImageFolderHistory& history);
// One preference by its "Prefs.txt" key, as a line of that file sets it
// (folder history aside); false, and nothing changed, for an unknown key or
// a value the key does not take.
bool SetPreference(const std::string& key, const std::string& value, TkwValue& values);
bool WritePreferences(const std::string& fileName, const TPreferences& prefs,
                      const TImageFolderHistory& history, std::string* error = nullptr);

// The file text that WritePreferences writes (CR LF line ends).
std::string PreferencesText(const TPreferences& prefs, const TImageFolderHistory& history);

// Folder of the running executable, empty when it cannot be found.
std::string ExecutableFolder();
// The preferences file in use: "Prefs.txt" beside the executable when that
// folder is writable, else the user's configuration file
// ($XDG_CONFIG_HOME/Caustica/Prefs.txt, by default ~/.config/Caustica/Prefs.txt).
std::string PreferencesFilePath();
std::string PreferencesFilePath(const std::string& executableFolder);

}  // namespace caustica
