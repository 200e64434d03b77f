// The hostile answers of tests/hostile/answers/, one case per file in the notation that the
// README there describes, put together as FakeDnsServer replies: the fake server sends for a
// case what the end-to-end hostile server (tests/hostile/hostile_server.py) sends for it.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeDnsServer.h"

struct AnswerCorpusError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The reply of a case to a query of this type for question (a dotted name, asked with class
// IN): the case's answer to the type, else to any type, else the good case's. Throws
// AnswerCorpusError when the case is missing or cannot be read.
FakeDnsServer::Reply CorpusReply(const std::string& caseName, const std::string& question,
                                 uint16_t type);

// The names of every case, in file name order.
std::vector<std::string> CorpusCases();

// The folder of the cases.
std::string AnswerCorpusDirectory();
