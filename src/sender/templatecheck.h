#pragma once

#include "sender/httpfetch.h"
#include "sender/sendreport.h"
#include "text/text.h"

#include <atomic>

// One job per template line: the template filled with the first site it suits, fetched once by
// up to `workers` threads at a time. Nothing is logged; the report holds one job (or none, for
// a template that suits no site) per line. Stops early when abort is set.
SendReport checkTemplates(const TextList& lines, const TextList& sites, FetchOptions options,
                          int workers, const std::atomic<bool>* abort = nullptr);
