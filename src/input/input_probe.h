#pragma once
// Probes a file the way the input list does when a file is added, giving the
// input row a job is built from.
#include "convert_list.h"

#include <string>

class TCustomDecoder;

// Opens the file with the probe and reads its duration (0 when unknown) and
// its first video stream's size and aspect ratio (-1 without one). False with
// the probe's LastErrorMessage when the file cannot be opened. The probe's
// file is closed again.
bool ProbeJobInput(TCustomDecoder& decoder, const std::string& fileName, TJobInput& input);
