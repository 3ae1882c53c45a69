#include "ff_records.h"

#include <cmath>
#include <ctime>

void InitInputOptions(TInputOptions& options) { options = TInputOptions{}; }

void InitOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

int64_t DateTimeToUnix(double localDateTime) {
    // The zone offset of the moment itself, taken as if the value were UTC first.
    const double approx = (localDateTime - 25569.0) * 86400.0;
    const time_t t = static_cast<time_t>(approx);
    struct tm local {};
    localtime_r(&t, &local);
    const double offsetDays = static_cast<double>(local.tm_gmtoff) / 86400.0;
    return static_cast<int64_t>(std::llround((localDateTime - 25569.0 - offsetDays) * 86400.0));
}
