#include "run/outcome_words.h"

const char* outcome_word(disk_outcome outcome)
{
    switch (outcome) {
    case disk_outcome::verified:
        return "verified";
    case disk_outcome::written:
        return "written";
    case disk_outcome::canceled:
        return "canceled";
    case disk_outcome::failed:
    case disk_outcome::pending:
        break;
    }
    return "failed";
}

const char* outcome_summary(disk_outcome outcome)
{
    return outcome == disk_outcome::written ? "written, not verified" : outcome_word(outcome);
}
