#include "cli/batch_sequence.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "analysis/zernike_coefficients_file.h"

namespace caustica::cli {

void OpenSequences(const ArgList& args, FrameSequence& intra, FrameSequence& extra) {
  for (const auto& [option, sequence, role] : {std::tuple{"--intra-sequence", &intra, "intra-focal"},
                                               std::tuple{"--extra-sequence", &extra, "extra-focal"}}) {
    if (!sequence->Open(args.All(option)))
      throw BatchError(std::string("cannot read the ") + role + " sequence: " + sequence->Refusal());
  }
}

TSequenceProgress SequenceProgressLine(bool enabled) {
  if (!enabled) return {};
  auto last = std::make_shared<std::string>();
  return [last](const std::string& stage, int done, int total) {
    if (stage != *last) {
      if (!last->empty()) std::fputc('\n', stderr);
      *last = stage;
    }
    std::fprintf(stderr, "\r%s: %d of %d", stage.c_str(), done, total);
    if (stage == "Reconstructing the frame pairs" && done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
    return true;
  };
}

namespace {

std::vector<TSequenceFrameRow> FrameRows(const TFrameMeasures& measures, const TFrameSelection& selection) {
  std::vector<TSequenceFrameRow> rows;
  for (std::size_t i = 0; i < selection.Frames.size(); ++i) {
    TSequenceFrameRow row;
    row.Frame = static_cast<int>(i) + 1;
    row.Kept = selection.Frames[i].Kept;
    row.Reason = selection.Frames[i].Reason;
    if (i < measures.Stars.size()) {
      const TStarFinding& s = measures.Stars[i];
      row.Column = s.Column;
      row.Row = s.Row;
      row.Radius = s.Radius;
      row.Flux = s.Flux;
    }
    if (i < measures.Sharpness.size()) row.Sharpness = measures.Sharpness[i];
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TSequenceReport SequenceReportOf(const TSequenceResult& r, const FrameSequence& intra,
                                 const FrameSequence& extra) {
  TSequenceReport q;
  q.IntraDescription = intra.Description();
  q.ExtraDescription = extra.Description();
  q.Lines = SequenceSummary(r);
  q.IntraFrames = FrameRows(r.Intra.Measures, r.Intra.Selection);
  q.ExtraFrames = FrameRows(r.Extra.Measures, r.Extra.Selection);
  q.PairsUsed = r.PairsUsed;
  q.HasErrors = r.HasErrors();
  q.Agree = r.Agree();
  q.AgreementLimit = r.AgreementLimit;
  const TZernikeBasis& basis = r.Averaged.Wavefront ? r.Averaged.Wavefront->Basis : ZernikeBasis;
  // Normalising scales each term by its own factor, so the errors scale by its size.
  const auto normalised = [&basis](ZernikeCoefficients c) {
    ToNormalised(basis, c);
    return c;
  };
  for (const TSequencePair& p : r.Pairs) {
    TSequencePairRow row;
    row.IntraFrame = p.IntraFrame;
    row.ExtraFrame = p.ExtraFrame;
    row.Reconstructed = p.Reconstructed;
    row.Outlier = p.Outlier;
    row.Reason = p.Reason;
    row.RmsValue = p.Rms;
    if (p.Reconstructed) {
      const ZernikeCoefficients c = normalised(p.Coefficients);
      row.Coefficients.assign(c.begin() + 1, c.begin() + 1 + r.Terms);
    }
    q.Pairs.push_back(std::move(row));
  }
  const ZernikeCoefficients averaged =
      normalised(r.Averaged.Wavefront ? r.Averaged.Wavefront->Coefficients : ZernikeCoefficients{});
  const ZernikeCoefficients mean = normalised(r.Mean), error = normalised(r.StandardError);
  for (int k = 1; k <= r.Terms; ++k) {
    TSequenceTermRow row;
    row.Term = k;
    row.Name = ZernikeTermName(k);
    row.Averaged = averaged[k];
    row.Mean = mean[k];
    row.StandardError = std::abs(error[k]);
    for (int d : r.Disagreements) row.Agrees = row.Agrees && d != k;
    row.Selected = !r.Averaged.Wavefront || r.Averaged.Wavefront->Selected[k];
    q.Terms.push_back(row);
  }
  return q;
}

}  // namespace caustica::cli
