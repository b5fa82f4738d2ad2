// What the statistics and history windows show of the server's records, without the
// windows: the fetches their workers run and the texts they draw.
#pragma once

#include <string>
#include <vector>

#include "net/kavo_tcp_client.h"

namespace kavo {

// One attempt of ServerStatistics into the process-wide record (HistoryEntries untouched).
bool FetchServerStats(CKavoTcpClient& client);
// HistoryEntries emptied, then one attempt of HistoryList into it.
bool FetchHistory(CKavoTcpClient& client);

// The statistics window's six values, row by row: count, then time of the last operation,
// for contacts, SMS and accounts (UTF-8).
struct CStatisticsTexts {
    std::string counts[3];
    std::string times[3];
};
CStatisticsTexts StatisticsTexts();

// "欢迎您!" while the history is empty, otherwise the user and time of its first entry.
std::string HistoryGreeting();

// The cells of one history row: number from 1, user, time, operation (UTF-8).
struct CHistoryRow {
    std::string number;
    std::string user;
    std::string time;
    std::string operation;
};
std::vector<CHistoryRow> HistoryRows();

}  // namespace kavo
