#include "cli/batch_summary.h"

#include <cmath>
#include <cstdio>

#include "analysis/zernike_coefficients_file.h"

namespace caustica::cli {

namespace {

std::string Fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// JSON numbers: enough digits to read back the double; not-a-number as null.
std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char ch : text) {
    switch (ch) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (ch < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", ch);
          out += buffer;
        } else {
          out += static_cast<char>(ch);
        }
    }
  }
  return out + "\"";
}

std::string JsonStrings(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonString(items[i]);
  return out + "]";
}

std::string JsonNumbers(const std::vector<double>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + JsonNumber(values[i]);
  return out + "]";
}

std::string FramesJson(const std::vector<TSequenceFrameRow>& frames) {
  std::string j = "[";
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const TSequenceFrameRow& f = frames[i];
    j += (i ? ",\n      " : "\n      ");
    j += "{\"frame\": " + std::to_string(f.Frame) + ", \"kept\": " + (f.Kept ? "true" : "false") +
         ", \"reason\": " + JsonString(f.Reason) + ", \"column\": " + JsonNumber(f.Column) +
         ", \"row\": " + JsonNumber(f.Row) + ", \"radius_px\": " + JsonNumber(f.Radius) +
         ", \"flux\": " + JsonNumber(f.Flux) + ", \"sharpness\": " + JsonNumber(f.Sharpness) + "}";
  }
  return j + "]";
}

std::string SequenceJson(const TSequenceReport& q) {
  std::string j = "{\n    \"intra\": {\"description\": " + JsonString(q.IntraDescription) +
                  ", \"frames\": " + FramesJson(q.IntraFrames) + "},\n";
  j += "    \"extra\": {\"description\": " + JsonString(q.ExtraDescription) +
       ", \"frames\": " + FramesJson(q.ExtraFrames) + "},\n";
  j += "    \"lines\": " + JsonStrings(q.Lines) + ",\n";
  j += "    \"pairs_used\": " + std::to_string(q.PairsUsed) +
       ", \"has_errors\": " + (q.HasErrors ? "true" : "false") +
       ", \"agree\": " + (q.Agree ? "true" : "false") +
       ", \"agreement_limit\": " + JsonNumber(q.AgreementLimit) + ",\n";
  j += "    \"pairs\": [";
  for (std::size_t i = 0; i < q.Pairs.size(); ++i) {
    const TSequencePairRow& p = q.Pairs[i];
    j += (i ? ",\n      " : "\n      ");
    j += "{\"intra_frame\": " + std::to_string(p.IntraFrame) +
         ", \"extra_frame\": " + std::to_string(p.ExtraFrame) +
         ", \"reconstructed\": " + (p.Reconstructed ? "true" : "false") +
         ", \"outlier\": " + (p.Outlier ? "true" : "false") + ", \"reason\": " + JsonString(p.Reason) +
         ", \"rms_nm\": " + JsonNumber(p.RmsValue) + ", \"zernike_rms_nm\": " + JsonNumbers(p.Coefficients) +
         "}";
  }
  j += "],\n    \"zernike\": [";
  for (std::size_t i = 0; i < q.Terms.size(); ++i) {
    const TSequenceTermRow& r = q.Terms[i];
    j += (i ? ",\n      " : "\n      ");
    j += "{\"term\": " + std::to_string(r.Term) + ", \"name\": " + JsonString(r.Name) +
         ", \"averaged_rms_nm\": " + JsonNumber(r.Averaged) + ", \"mean_rms_nm\": " + JsonNumber(r.Mean) +
         ", \"standard_error_rms_nm\": " + (q.HasErrors ? JsonNumber(r.StandardError) : "null") +
         ", \"agrees\": " + (r.Agrees ? "true" : "false") +
         ", \"selected\": " + (r.Selected ? "true" : "false") + "}";
  }
  return j + "]}";
}

}  // namespace

TChannelSummary SummariseWavefront(TPupille& w, const std::string& channel) {
  TChannelSummary s;
  s.Channel = channel;
  w.ComputeMaskedStatistics();
  w.ComputeMaskedRange();
  s.Wavelength = w.Wavelength;
  s.PtvValue = w.PtvValue;
  s.RmsValue = w.RmsValue;
  w.ComputeStrehl();
  s.HasStrehl = w.Wavelength != 0;
  s.Strehl = w.Strehl;
  s.ObstructionFactor = w.ObstructionFactor;
  s.StrehlObstructed = w.StrehlObstructed;
  s.Obstruction = w.Obstruction;
  s.PupilRadius = w.PupilRadius;
  s.Seidel = SeidelFigures(w);
  ZernikeCoefficients normalised = w.Coefficients;
  ToNormalised(w.Basis, normalised);
  const int count = std::min<int>(w.Basis.PolynomialCount, kZernikeTermCount);
  for (int k = 1; k <= count; ++k)
    s.Coefficients.push_back({k, ZernikeTermName(k), normalised[k], w.Coefficients[k], w.Selected[k]});
  return s;
}

std::string SummaryText(const TRunSummary& run) {
  std::string t;
  t += "Method: " + run.Method + ", mode: " + run.Mode + "\n";
  t += "Focal length " + Fixed(run.Focale * 1e-6, 1) + " mm, diameter " + Fixed(2e-6 * run.Rayon, 1) +
       " mm, defocus " + Fixed(run.Defocalisation * 1e-6, 3) + " mm\n";
  t += "Set-up aberrations subtracted (nm): astigmatism " + Fixed(run.AstigX, 2) + " / " +
       Fixed(run.AstigY, 2) + ", coma " + Fixed(run.ComaX, 2) + " / " + Fixed(run.ComaY, 2) + ", spherical " +
       Fixed(run.Spherique, 2) + (run.Autocollimation ? ", autocollimation (halved)" : "") + "\n";
  for (const std::string& n : run.Notes) t += "Note: " + n + "\n";
  for (const std::string& w : run.Warnings) t += "Warning: " + w + "\n";
  for (const TChannelSummary& c : run.Channels) {
    t += c.Channel == "single" ? "\nWavefront\n" : "\nWavefront " + c.Channel + "\n";
    t += "  PTV " + Fixed(c.PtvValue, 2) + " nm, RMS " + Fixed(c.RmsValue, 2) + " nm";
    if (c.Wavelength > 0)
      t += " (lambda/" + Fixed(c.Wavelength / c.RmsValue, 1) + " RMS at " + Fixed(c.Wavelength, 1) + " nm)";
    t += "\n";
    if (c.HasStrehl)
      t += "  Strehl: S = " + Fixed(c.StrehlObstructed, 3) + ", Smax = " + Fixed(c.ObstructionFactor, 3) +
           ", S/Smax = " + Fixed(c.Strehl, 3) + "\n";
    else
      t += "  Strehl: no wavelength for this channel\n";
    t += "  Pupil radius " + Fixed(c.PupilRadius, 2) + " px, obstruction " + Fixed(c.Obstruction, 3) + "\n";
    if (!c.ForwardText.empty()) t += "  Forward model: " + c.ForwardText + "\n";
    t += "  Seidel:\n";
    for (const TSeidelRow& r : c.Seidel)
      t += "    " + r.Caption + " " + r.ValueText +
           (r.HasOrientation ? " nm at " + r.OrientationText : " nm") + "\n";
    t += "  Zernike coefficients (nm RMS):\n";
    for (const TCoefficientLine& l : c.Coefficients) {
      char line[160];
      std::snprintf(line, sizeof line, "    %2d %-28s %10.2f%s\n", l.Term, l.Name.c_str(), l.RmsValue,
                    l.Selected ? "" : "  [Soustrait]");
      t += line;
    }
  }
  if (run.HasSequence) {
    const TSequenceReport& q = run.Sequence;
    t += "\nSequence\n";
    t += "  Intra-focal: " + q.IntraDescription + "\n  Extra-focal: " + q.ExtraDescription + "\n";
    for (const std::string& l : q.Lines) t += "  " + l + "\n";
    t += "  Zernike coefficients (nm RMS): averaged pair, mean of the frame pairs +- standard error\n";
    for (const TSequenceTermRow& r : q.Terms) {
      char line[200];
      if (q.HasErrors)
        std::snprintf(line, sizeof line, "    %2d %-28s %10.2f %10.2f +- %6.2f%s\n", r.Term, r.Name.c_str(),
                      r.Averaged, r.Mean, r.StandardError,
                      !r.Selected ? "  [Soustrait]"
                      : r.Agrees  ? ""
                                  : "  (differ)");
      else
        std::snprintf(line, sizeof line, "    %2d %-28s %10.2f %10.2f%s\n", r.Term, r.Name.c_str(),
                      r.Averaged, r.Mean, r.Selected ? "" : "  [Soustrait]");
      t += line;
    }
  }
  t += "\nResults in " + run.OutputFolder + "\n";
  return t;
}

std::string SummaryJson(const TRunSummary& run) {
  std::string j = "{\n";
  j += "  \"method\": " + JsonString(run.Method) + ",\n";
  j += "  \"mode\": " + JsonString(run.Mode) + ",\n";
  j += "  \"parameters\": {\"focal_length_nm\": " + JsonNumber(run.Focale) +
       ", \"pupil_radius_nm\": " + JsonNumber(run.Rayon) +
       ", \"defocus_nm\": " + JsonNumber(run.Defocalisation) +
       ", \"source_distance_nm\": " + JsonNumber(run.DistanceSource) +
       ", \"incidence_rad\": " + JsonNumber(run.Incidence) +
       ", \"autocollimation\": " + (run.Autocollimation ? "true" : "false") +
       ",\n    \"subtracted_nm\": {\"astig_x\": " + JsonNumber(run.AstigX) +
       ", \"astig_y\": " + JsonNumber(run.AstigY) + ", \"coma_x\": " + JsonNumber(run.ComaX) +
       ", \"coma_y\": " + JsonNumber(run.ComaY) + ", \"spherical\": " + JsonNumber(run.Spherique) + "}},\n";
  j += "  \"output_folder\": " + JsonString(run.OutputFolder) + ",\n";
  j += "  \"files\": " + JsonStrings(run.Files) + ",\n";
  j += "  \"notes\": " + JsonStrings(run.Notes) + ",\n";
  j += "  \"warnings\": " + JsonStrings(run.Warnings) + ",\n";
  j += "  \"channels\": [";
  for (std::size_t i = 0; i < run.Channels.size(); ++i) {
    const TChannelSummary& c = run.Channels[i];
    j += i ? ",\n    {" : "\n    {";
    j += "\"channel\": " + JsonString(c.Channel) + ", \"wavelength_nm\": " + JsonNumber(c.Wavelength) +
         ",\n     \"ptv_nm\": " + JsonNumber(c.PtvValue) + ", \"rms_nm\": " + JsonNumber(c.RmsValue) + ",\n";
    if (c.HasStrehl)
      j += "     \"strehl\": {\"s\": " + JsonNumber(c.StrehlObstructed) +
           ", \"smax\": " + JsonNumber(c.ObstructionFactor) + ", \"s_over_smax\": " + JsonNumber(c.Strehl) +
           "},\n";
    else
      j += "     \"strehl\": null,\n";
    j += "     \"pupil_radius_px\": " + JsonNumber(c.PupilRadius) +
         ", \"obstruction\": " + JsonNumber(c.Obstruction) +
         ", \"outer_passes\": " + std::to_string(c.OuterPasses) +
         ", \"inner_passes\": " + std::to_string(c.InnerPasses) + ",\n";
    if (c.HasForwardCheck)
      j += "     \"forward_check\": {\"intra_rms_percent\": " + JsonNumber(c.ForwardIntraRms) +
           ", \"extra_rms_percent\": " + JsonNumber(c.ForwardExtraRms) + "},\n";
    else
      j += "     \"forward_check\": null,\n";
    j += "     \"seidel\": [";
    for (std::size_t k = 0; k < c.Seidel.size(); ++k) {
      const TSeidelRow& r = c.Seidel[k];
      j += (k ? ",\n       " : "\n       ");
      j += "{\"name\": " + JsonString(r.Caption) + ", \"value_nm\": " + JsonNumber(r.Value) +
           ", \"text\": " + JsonString(r.ValueText);
      if (r.HasOrientation)
        j += ", \"orientation_deg\": " + JsonNumber(r.Orientation) +
             ", \"orientation_text\": " + JsonString(r.OrientationText);
      j += "}";
    }
    j += "],\n     \"zernike\": [";
    for (std::size_t k = 0; k < c.Coefficients.size(); ++k) {
      const TCoefficientLine& l = c.Coefficients[k];
      j += (k ? ",\n       " : "\n       ");
      j += "{\"term\": " + std::to_string(l.Term) + ", \"name\": " + JsonString(l.Name) +
           ", \"rms_nm\": " + JsonNumber(l.RmsValue) + ", \"value_nm\": " + JsonNumber(l.Value) +
           ", \"selected\": " + (l.Selected ? "true" : "false") + "}";
    }
    j += "],\n     \"files\": " + JsonStrings(c.Files) + "}";
  }
  j += "\n  ]";
  if (run.HasSequence) j += ",\n  \"sequence\": " + SequenceJson(run.Sequence);
  j += "\n}\n";
  return j;
}

}  // namespace caustica::cli
