#pragma once

#include "text/text.h"

// A site address stripped to its domain form: "http://" and a leading "www." go, a path goes
// (unless "www." went), and a host with more than two dots loses its first label.
Text ReduceDomain(std::string_view site);

// 1: a bare domain; 2: "www." + the domain; 3: any other host; 4: a path without a dot;
// 5: a path with a dot. A link template's digit is the highest kind it suits.
int SiteKind(std::string_view site);
