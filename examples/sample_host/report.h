// The report of the sample host: what a host receives from Pemrik.
#ifndef EXAMPLES_SAMPLE_HOST_REPORT_H_
#define EXAMPLES_SAMPLE_HOST_REPORT_H_

#include <stdio.h>

#include "Pemrik.h"

/// Prints every string of the edition through GetText (command texts line
/// by line through GetTextLine), the formatted addresses with the revision
/// in force, and each resource that LocateResource and CopyResourceData
/// find, decoded. edition is the loaded Pemrik module. False when something
/// that the edition carries was not found or could not be decoded.
bool PrintReport(CPemrik0& pemrik, HMODULE edition, FILE* out);

#endif  // EXAMPLES_SAMPLE_HOST_REPORT_H_
