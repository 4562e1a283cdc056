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
  for (const TSequencePair& p : r.Pairs) {
    TSequencePairRow row;
    row.IntraFrame = p.IntraFrame;
    row.ExtraFrame = p.ExtraFrame;
    row.Reconstructed = p.Reconstructed;
    row.Outlier = p.Outlier;
    row.Reason = p.Reason;
    row.RmsValue = p.Rms;
    row.Coefficients = NormalisedPairCoefficients(r, p);
    q.Pairs.push_back(std::move(row));
  }
  for (const TSequenceTerm& t : SequenceTerms(r))
    q.Terms.push_back(
        {t.Term, ZernikeTermName(t.Term), t.Averaged, t.Mean, t.StandardError, t.Agrees, t.Selected});
  return q;
}

}  // namespace caustica::cli
