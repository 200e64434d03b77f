// Test hooks of the POSIX DNS client, so that platform tests can talk to a server of their
// own on a high loopback port and need not wait out the full time-outs.
#pragma once
#include <cstdint>

// Port of the explicit servers given to DnsQuery_W / DnsQueryBatch; 0 restores 53.
void DnsClientSetPortForTesting(uint16_t port);

// Time-out of one try in milliseconds; 0 restores the default.
void DnsClientSetTimeoutForTesting(uint32_t milliseconds);
