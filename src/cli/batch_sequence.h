// The sequence side of "caustica-batch reconstruct": the frames of each side
// opened, the progress of their reading on stderr, and the run's figures for
// the summary.
#pragma once

#include "analysis/sequence_run.h"
#include "cli/batch_args.h"
#include "cli/batch_summary.h"
#include "io/frame_sequence.h"

namespace caustica::cli {

// Opens both sequences (--intra-sequence, --extra-sequence, each repeatable:
// several FITS files, one FITS cube or one SER video), refused with the
// reader's reason.
void OpenSequences(const ArgList& args, FrameSequence& intra, FrameSequence& extra);

// One line per stage on stderr, redrawn as frames are done; nothing when disabled.
TSequenceProgress SequenceProgressLine(bool enabled);

TSequenceReport SequenceReportOf(const TSequenceResult& result, const FrameSequence& intra,
                                 const FrameSequence& extra);

}  // namespace caustica::cli
