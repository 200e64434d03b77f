// Writes every case of tests/hostile/answers/ as the platform tests' reader puts it together,
// for one question and every type the DNS commands ask: test_answer_corpus.py compares it with
// what the end-to-end server's reader makes of the same files, so that both send the same.
//
//   answer_corpus_dump QUESTION
#include <cstdio>
#include <string>

#include "tests/platform/resolver/AnswerCorpus.h"

namespace {

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: answer_corpus_dump QUESTION\n");
        return 2;
    }
    try {
        for (const std::string& name : CorpusCases()) {
            for (uint16_t type : {1, 2, 5, 6, 12, 15, 16, 28, 29}) {
                FakeDnsServer::Reply reply = CorpusReply(name, argv[1], type);
                std::printf("%s %u message %s\n", name.c_str(), unsigned(type),
                            Hex(reply.message).c_str());
                for (const FakeDnsServer::Reply::Junk& junk : reply.junkFirst)
                    std::printf("%s %u junk %s%s\n", name.c_str(), unsigned(type),
                                Hex(junk.datagram).c_str(), junk.idFlipped ? " other-id" : "");
                std::printf("%s %u options mute=%d none=%d other-id=%d udp-truncated=%d "
                            "tcp-close=%d tcp-length=%d delay=%lld\n",
                            name.c_str(), unsigned(type), reply.mute, reply.noAnswer, reply.wrongId,
                            reply.truncateOverUdp, reply.tcpClose, reply.tcpLengthError,
                            static_cast<long long>(reply.delay.count()));
            }
        }
    } catch (const AnswerCorpusError& error) {
        std::fprintf(stderr, "answer_corpus_dump: %s\n", error.what());
        return 1;
    }
    return 0;
}
