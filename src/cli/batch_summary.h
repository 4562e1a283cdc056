// The figures of a reconstruction, as the information panel and the results
// windows show them, for stdout and the summary files.
#pragma once

#include <string>
#include <vector>

#include "analysis/u_Seidel.h"
#include "analysis/u_pupille.h"

namespace caustica::cli {

struct TCoefficientLine {
  int Term = 0;
  std::string Name;
  double RmsValue = 0.0;  // nm, RMS-normalised
  double Value = 0.0;     // nm, as the basis defines the term
  bool Selected = true;   // false: switched off ("[Soustrait]")
};

struct TChannelSummary {
  std::string Channel;      // "Polychromatic" for the single mode, else the colour
  double Wavelength = 0.0;  // nm; the Strehl figures need it
  double PtvValue = 0.0;    // nm
  double RmsValue = 0.0;    // nm
  bool HasStrehl = false;
  double Strehl = 0.0;  // S/Smax
  double ObstructionFactor = 0.0;
  double StrehlObstructed = 0.0;  // S
  double Obstruction = 0.0;
  double PupilRadius = 0.0;  // pixels
  int OuterPasses = 0;
  int InnerPasses = 0;
  TSeidelFigures Seidel;
  // The forward-model check: measured minus modelled images, RMS in % of
  // the donut level; the text says why when there is none.
  bool HasForwardCheck = false;
  double ForwardIntraRms = 0.0, ForwardExtraRms = 0.0;
  std::string ForwardText;
  std::vector<TCoefficientLine> Coefficients;
  std::vector<std::string> Files;  // written for this channel, in order
};

// A sequence run: each side's frames, the frame pairs and both estimates,
// coefficients RMS-normalised (nm) as the table of the wavefront shows them.
struct TSequenceFrameRow {
  int Frame = 0;
  bool Kept = false;
  std::string Reason;
  double Column = 0.0, Row = 0.0, Radius = 0.0, Flux = 0.0, Sharpness = 0.0;
};

struct TSequencePairRow {
  int IntraFrame = 0, ExtraFrame = 0;
  bool Reconstructed = false, Outlier = false;
  std::string Reason;
  double RmsValue = 0.0;
  std::vector<double> Coefficients;  // terms 1..n
};

struct TSequenceTermRow {
  int Term = 0;
  std::string Name;
  double Averaged = 0.0;       // (a): the averaged pair
  double Mean = 0.0;           // (b): the robust mean of the pairs
  double StandardError = 0.0;  // of (b); 0 with fewer than 3 pairs
  bool Agrees = true;
  bool Selected = true;  // false: switched off ("[Soustrait]")
};

struct TSequenceReport {
  std::string IntraDescription, ExtraDescription;
  std::vector<std::string> Lines;  // selection, pairs, agreement
  std::vector<TSequenceFrameRow> IntraFrames, ExtraFrames;
  std::vector<TSequencePairRow> Pairs;
  std::vector<TSequenceTermRow> Terms;
  int PairsUsed = 0;
  bool HasErrors = false, Agree = false;
  double AgreementLimit = 0.0;
};

struct TRunSummary {
  std::string Method = "classic";
  std::string Mode;                                        // "simple" or "polychromatic"
  double Focale = 0.0, Rayon = 0.0, Defocalisation = 0.0;  // nm
  double DistanceSource = 0.0, Incidence = 0.0;            // nm, radians
  double AstigX = 0.0, AstigY = 0.0, ComaX = 0.0, ComaY = 0.0, Spherique = 0.0;
  bool Autocollimation = false;
  std::string OutputFolder;
  std::vector<TChannelSummary> Channels;
  std::vector<std::string> Files;     // written for the whole run
  std::vector<std::string> Notes;     // what was done to the images (cut-outs, stars left aside)
  std::vector<std::string> Warnings;  // the pair's checks that did not pass
  bool HasSequence = false;
  TSequenceReport Sequence;
};

// Statistics, Strehl figures, Seidel rows and coefficients of a wavefront
// (its masked statistics are recomputed).
TChannelSummary SummariseWavefront(TPupille& wavefront, const std::string& channel);

std::string SummaryText(const TRunSummary& summary);
std::string SummaryJson(const TRunSummary& summary);

}  // namespace caustica::cli
