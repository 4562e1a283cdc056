#include "setup/u_prefs.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>

#include "analysis/u_zernike.h"
#include "core/atomic_file.h"
#include "core/number_format.h"
#include "core/u_math.h"

namespace caustica {

TPreferences Preferences;
TImageFolderHistory ImageFolderHistory;

namespace {

constexpr const char* kFileName = "Prefs.txt";
constexpr const char* kWarningsMarker = "[Warnings]";
constexpr int kMaxAlertes = 42;
// A real preferences file is about a kilobyte; anything far larger is not one.
constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

// One keyed line of the file. Byte fields whose value indexes a fixed table
// are range-checked on reading; other byte fields keep the low 8 bits.
struct KeyedField {
  const char* Key;
  std::uint8_t TkwValue::*Byte = nullptr;
  std::int32_t TkwValue::*Int = nullptr;
  double TkwValue::*Real = nullptr;
  int Low = 0;
  int High = -1;  // High < Low: no range, any 32-bit integer
};

constexpr KeyedField B(const char* key, std::uint8_t TkwValue::*field, int low = 0, int high = -1) {
  return KeyedField{key, field, nullptr, nullptr, low, high};
}
constexpr KeyedField I(const char* key, std::int32_t TkwValue::*field) {
  return KeyedField{key, nullptr, field, nullptr, 0, -1};
}
constexpr KeyedField R(const char* key, double TkwValue::*field) {
  return KeyedField{key, nullptr, nullptr, field, 0, -1};
}

// The 41 keyed lines, in the order of the file.
const KeyedField kKeyedFields[] = {
    B("PltSignal", &TkwValue::PltSignal, 0, 5),
    B("PltFront", &TkwValue::PltFront, 0, 5),
    B("PltPSF", &TkwValue::PltPSF, 0, 5),
    B("PltInterfero", &TkwValue::PltInterfero, 0, 5),
    B("FactMultDiff", &TkwValue::FactMultDiff, 0, 3),
    B("MasqueActif", &TkwValue::MasqueActif),
    B("MemOptim", &TkwValue::MemOptim),
    B("NIter", &TkwValue::NIter),
    B("BreakCondition", &TkwValue::BreakCondition),
    R("RMSFront", &TkwValue::RMSFront),
    B("ExtractDim", &TkwValue::ExtractDim),
    B("ExtractSeuil", &TkwValue::ExtractSeuil),
    B("ExtractAuto", &TkwValue::ExtractAuto),
    R("LambdaRef", &TkwValue::LambdaRef),
    R("LambdaInterfero", &TkwValue::LambdaInterfero),
    R("LambdaR", &TkwValue::LambdaR),
    R("LambdaV", &TkwValue::LambdaV),
    R("LambdaB", &TkwValue::LambdaB),
    B("OriginFoc", &TkwValue::OriginFoc, 0, 2),
    B("AjustAuto", &TkwValue::AjustAuto),
    B("SubTiltFocus", &TkwValue::SubTiltFocus),
    B("SubComa", &TkwValue::SubComa),
    B("NPolyZern", &TkwValue::NPolyZern, 0, kMaxAlertes),
    B("ModePoly", &TkwValue::ModePoly),
    B("NDecNano", &TkwValue::NDecNano),
    B("NDecMilli", &TkwValue::NDecMilli),
    B("NDecLambda", &TkwValue::NDecLambda),
    B("NDecPix", &TkwValue::NDecPix),
    B("NDecADU", &TkwValue::NDecADU),
    B("NDecStrehl", &TkwValue::NDecStrehl),
    B("NDecDeg", &TkwValue::NDecDeg),
    B("NDecRed", &TkwValue::NDecRed),
    B("NormRMS", &TkwValue::NormRMS),
    I("Diametre", &TkwValue::Diametre),
    I("Focale", &TkwValue::Focale),
    I("PixelCCD", &TkwValue::PixelCCD),
    B("BinAcquisition", &TkwValue::BinAcquisition),
    B("BinLogiciel", &TkwValue::BinLogiciel),
    R("PoidsR", &TkwValue::PoidsR),
    R("PoidsV", &TkwValue::PoidsV),
    R("PoidsB", &TkwValue::PoidsB),
};
static_assert(std::size(kKeyedFields) == 41);

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseInteger(std::string_view text, std::int32_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 32) return false;
  std::int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || ptr != text.data() + text.size()) return false;
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

// A decimal number with "." or "," as separator and an optional exponent.
// Only finite values are accepted.
bool ParseReal(std::string_view text, double& value) {
  text = Trim(text);
  // "%.6f" of the largest double takes 316 characters; anything the writer
  // produces must read back.
  if (text.empty() || text.size() > 400) return false;
  std::string s;
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-') s += '-';
    ++i;
  }
  std::size_t mantissaDigits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++mantissaDigits;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    s += '.';
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    s += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) s += text[i++];
    std::size_t exponentDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != text.size()) return false;
  double v = 0.0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range && ptr == s.data() + s.size()) {
    // The largest double written with 15 digits rounds up past it: read back
    // as itself, not refused.
    long double wide = 0.0L;
    const auto [end, wideEc] = std::from_chars(s.data(), s.data() + s.size(), wide);
    if (wideEc != std::errc{} || end != ptr || std::fabs(wide) > 1.79769313486232e308L) return false;
    v = wide < 0 ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
  } else if (ec != std::errc{} || ptr != s.data() + s.size() || !std::isfinite(v)) {
    return false;
  }
  value = v;
  return true;
}

// A value as the file can hold it: what was read is then written and read
// back unchanged (the general format keeps 15 digits, the alerts 6 decimals).
double AsWritten(double v, bool fixed) {
  double back = v;
  ParseReal(fixed ? FormatFixed(v, 6) : FormatGeneral(v), back);
  return back;
}

// True when the value was taken; a malformed or out-of-range one is not.
bool StoreKeyedValue(const KeyedField& field, std::string_view text, TkwValue& values) {
  if (field.Real) {
    double v;
    if (!ParseReal(text, v)) return false;
    values.*field.Real = AsWritten(v, false);
    return true;
  }
  std::int32_t v;
  if (!ParseInteger(text, v)) return false;
  if (field.Int) {
    values.*field.Int = v;
  } else if (field.High < field.Low) {
    values.*field.Byte = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFFu);
  } else if (v >= field.Low && v <= field.High) {
    values.*field.Byte = static_cast<std::uint8_t>(v);
  } else {
    return false;
  }
  return true;
}

// Lines end with CR LF, LF or a lone CR.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool ReadWholeFile(const std::string& fileName, std::string& content) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::string data;
  char buffer[65536];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    data.append(buffer, n);
    if (data.size() > kMaxFileBytes) return false;
    if (n < sizeof buffer) break;
  }
  if (std::ferror(file.get())) return false;
  content = std::move(data);
  return true;
}

// A line break inside a folder name would split it into lines of its own.
std::string OneLine(const std::string& text) {
  std::string s = text;
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }), s.end());
  return s;
}

bool FolderIsWritable(const std::string& folder) {
  std::error_code ec;
  return !folder.empty() && std::filesystem::is_directory(folder, ec) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return std::string(pw->pw_dir) + "/.config";
  return std::string();
}

}  // namespace

std::string PreferencesText(const TPreferences& prefs, const TImageFolderHistory& history) {
  const TkwValue& v = prefs.Valeurs;
  std::string text;
  auto line = [&text](const std::string& s) {
    text += s;
    text += "\r\n";
  };
  for (const KeyedField& field : kKeyedFields) {
    std::string value;
    if (field.Real)
      value = FormatGeneral(v.*field.Real);
    else if (field.Int)
      value = std::to_string(v.*field.Int);
    else
      value = std::to_string(static_cast<int>(v.*field.Byte));
    line(std::string(field.Key) + "=" + value);
  }
  line("Aide=" + OneLine(v.FichierAide));
  // Each folder once, in list order, so the history never grows by itself.
  std::vector<std::string> written;
  for (const std::string& folder : history) {
    const std::string f = OneLine(folder);
    if (std::find(written.begin(), written.end(), f) != written.end()) continue;
    written.push_back(f);
    line("Images=" + f);
  }
  line("Rapports=" + OneLine(v.DossierRapports));
  line(kWarningsMarker);
  const int n = std::min<int>(v.NPolyZern, kMaxAlertes);
  for (int j = 1; j <= n; ++j) line(FormatFixed(v.Alertes[j], 6));
  return text;
}

bool ReadPreferences(const std::string& fileName, TPreferences& prefs, TImageFolderHistory& history) {
  std::string content;
  if (!ReadWholeFile(fileName, content)) return false;
  const std::vector<std::string_view> lines = SplitLines(content);
  TkwValue& v = prefs.Valeurs;
  std::ptrdiff_t warnings = -1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t eq = line.find('=');
    const std::string_view name = eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
    if (name == "Images") {
      // Reading again while the program runs must not duplicate entries.
      if (!value.empty() && std::find(history.begin(), history.end(), value) == history.end())
        history.emplace_back(value);
    } else if (name == "Rapports") {
      v.DossierRapports = std::string(value);
    } else if (name == "Aide") {
      v.FichierAide = std::string(value);
    } else if (!name.empty()) {
      for (const KeyedField& field : kKeyedFields)
        if (name == field.Key) {
          StoreKeyedValue(field, value, v);
          break;
        }
    } else if (line == kWarningsMarker) {
      warnings = static_cast<std::ptrdiff_t>(i);
    }
  }
  if (!lines.empty() && !history.empty()) v.DossierImages = history.front();
  // Without the marker there are no alert lines; missing or malformed ones
  // keep their values.
  if (warnings >= 0) {
    const int n = std::min<int>(v.NPolyZern, kMaxAlertes);
    for (int j = 1; j <= n; ++j) {
      const std::size_t k = static_cast<std::size_t>(warnings) + static_cast<std::size_t>(j);
      if (k >= lines.size()) break;
      double a;
      if (ParseReal(lines[k], a)) v.Alertes[j] = AsWritten(a, true);
    }
  }
  return true;
}

bool SetPreference(const std::string& key, const std::string& value, TkwValue& values) {
  if (key == "Rapports") {
    values.DossierRapports = value;
    return true;
  }
  if (key == "Aide") {
    values.FichierAide = value;
    return true;
  }
  for (const KeyedField& field : kKeyedFields)
    if (key == field.Key) return StoreKeyedValue(field, value, values);
  return false;
}

bool WritePreferences(const std::string& fileName, const TPreferences& prefs,
                      const TImageFolderHistory& history, std::string* error) {
  const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::exists(folder, ec))
    std::filesystem::create_directories(folder, ec);
  return WriteFileAtomically(fileName, PreferencesText(prefs, history), error);
}

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return exe.parent_path().string();
}

std::string PreferencesFilePath(const std::string& executableFolder) {
  if (FolderIsWritable(executableFolder)) return executableFolder + "/" + kFileName;
  const std::string config = UserConfigFolder();
  if (!config.empty()) return config + "/Caustica/" + kFileName;
  return executableFolder.empty() ? std::string(kFileName) : executableFolder + "/" + kFileName;
}

std::string PreferencesFilePath() { return PreferencesFilePath(ExecutableFolder()); }

bool ReadPreferences() { return ReadPreferences(PreferencesFilePath(), Preferences, ImageFolderHistory); }

bool WritePreferences(std::string* error) {
  return WritePreferences(PreferencesFilePath(), Preferences, ImageFolderHistory, error);
}

void InitPreferences() {
  Preferences.Valeurs = TkwValue{};
  ReadPreferences();
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
}

void InitPreferences(const std::string& fileName) {
  Preferences.Valeurs = TkwValue{};
  ReadPreferences(fileName, Preferences, ImageFolderHistory);
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
}

}  // namespace caustica
