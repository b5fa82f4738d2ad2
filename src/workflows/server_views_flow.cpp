#include "workflows/server_views_flow.h"

#include <cstdio>

#include "codecs/gbk_text.h"
#include "store/app_state.h"
#include "workflows/messages.h"

namespace kavo {

bool FetchServerStats(CKavoTcpClient& client) {
    CStatisticsData stats;
    if (!client.ServerStatistics(stats)) return false;
    AppState().ServerStats = stats;
    return true;
}

bool FetchHistory(CKavoTcpClient& client) {
    std::vector<CHistoryData>& entries = AppState().HistoryEntries;
    entries.clear();
    return client.DownloadHistory(entries);
}

CStatisticsTexts StatisticsTexts() {
    const CStatisticsData& stats = AppState().ServerStats;
    const CStatItem* items[3] = {&stats.Contacts, &stats.Sms, &stats.Accounts};
    CStatisticsTexts out;
    for (int i = 0; i < 3; ++i) {
        out.counts[i] = std::to_string(items[i]->Count);
        out.times[i] = FieldUtf8(items[i]->LastTime);
    }
    return out;
}

std::string HistoryGreeting() {
    const std::vector<CHistoryData>& entries = AppState().HistoryEntries;
    if (entries.empty()) return msg::kWelcomeShort;
    const std::string user = FieldUtf8(entries.front().UserName);
    const std::string time = FieldUtf8(entries.front().OperTime);
    // The template is "%s 欢迎您!您最后更新的日期:%s": user, then time.
    const std::string_view format(msg::kHistoryGreeting);
    const std::size_t first = format.find("%s");
    const std::size_t second = format.find("%s", first + 2);
    std::string out;
    out.append(format.substr(0, first)).append(user);
    out.append(format.substr(first + 2, second - first - 2)).append(time);
    out.append(format.substr(second + 2));
    return out;
}

std::vector<CHistoryRow> HistoryRows() {
    std::vector<CHistoryRow> rows;
    int n = 0;
    for (const CHistoryData& entry : AppState().HistoryEntries)
        rows.push_back({std::to_string(++n), FieldUtf8(entry.UserName), FieldUtf8(entry.OperTime),
                        FieldUtf8(entry.Operation)});
    return rows;
}

}  // namespace kavo
