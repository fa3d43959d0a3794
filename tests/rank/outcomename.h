#pragma once

#include "store/rankquery.h"

// An outcome as the tests print it.
inline const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ranked:
        return "ranked";
    case Outcome::NotFound:
        return "not found";
    case Outcome::Blocked:
        return "blocked";
    case Outcome::Failed:
        return "failed";
    case Outcome::Stopped:
        return "stopped";
    }
    return "?";
}
