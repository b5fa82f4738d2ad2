// The store and restore progress window against the real kavo-server.
#include "dialogs/waitting_dlg.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "command_dialogs_support.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"

using namespace kavo;
using kavo::test::CommandDialogTest;

namespace {

bool ByBytes(const CRelData& a, const CRelData& b) { return std::memcmp(&a, &b, sizeof a) < 0; }

void WipeLocalContacts() {
    std::vector<CRelData> stored;
    CDataAccess local;
    local.LoadContacts(stored);
    for (const CRelData& rel : stored)
        local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1));
    AppState().GroupNames.assign(1, "");
}

class WaittingDlgTest : public CommandDialogTest {};

TEST_F(WaittingDlgTest, StoreThenRestoreGivesBackEveryContactByteForByte) {
    LogInFresh();
    std::vector<CRelData> original;
    for (int i = 0; i < 2000; ++i) original.push_back(test::ChineseContact(i, i % 4 ? "" : "同学"));
    ASSERT_EQ(MergeContacts(original), 2000);

    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    int lastCount = 0, posts = 0;
    QObject::connect(&store, &CZPWaittingDlg::progressed, [&](int n) { lastCount = n, ++posts; });
    EXPECT_EQ(store.exec(), kIdOk);
    EXPECT_EQ(lastCount, 2000);
    EXPECT_GT(posts, 1);
    EXPECT_EQ(store.Text(), "正在上传联系人信息，已上传2000");
    EXPECT_EQ(LastText(), msg::kStoreDone);
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconSuccess);

    WipeLocalContacts();
    CZPWaittingDlg restore(CZPWaittingDlg::kRestore, client());
    EXPECT_EQ(restore.exec(), kIdOk);
    EXPECT_TRUE(restore.Merged());
    EXPECT_EQ(restore.Text(), "正在还原联系人信息，已还原2000");
    EXPECT_EQ(LastText(), msg::kRestoreDone);

    std::vector<CRelData> back;
    ASSERT_EQ(CDataAccess().LoadContacts(back), 2000);
    std::sort(original.begin(), original.end(), ByBytes);
    std::sort(back.begin(), back.end(), ByBytes);
    for (std::size_t i = 0; i < back.size(); ++i)
        ASSERT_EQ(std::memcmp(&original[i], &back[i], sizeof(CRelData)), 0) << i;
    EXPECT_GE(CDataAccess::FindGroup(AppState().GroupNames, Utf8ToGbk("同学")), 1);
}

TEST_F(WaittingDlgTest, RestoreThatBreaksOffKeepsWhatArrivedAndShowsTheError) {
    LogInFresh();
    std::vector<CRelData> original;
    for (int i = 0; i < 4000; ++i) original.push_back(test::ChineseContact(i));
    ASSERT_EQ(MergeContacts(original), 4000);
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    ASSERT_EQ(store.exec(), kIdOk);
    WipeLocalContacts();

    CZPWaittingDlg restore(CZPWaittingDlg::kRestore, client());
    // The connection breaks after the first batch has arrived.
    QObject::connect(&restore, &CZPWaittingDlg::progressed, [&](int) { client().Abort(); });
    EXPECT_EQ(restore.exec(), kIdCancel);
    EXPECT_TRUE(restore.Merged());
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconError);
    EXPECT_FALSE(LastText().isEmpty());
    EXPECT_NE(LastText(), msg::kRestoreDone);
    std::vector<CRelData> kept;
    const int n = CDataAccess().LoadContacts(kept);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, 4000);
    // What arrived went into the store as it came; nothing is left in the list.
    EXPECT_EQ(n, LastMergeOutcome().stored);
    EXPECT_TRUE(AppState().ContactList.empty());
}

TEST_F(WaittingDlgTest, EmptyAddressBookAndEmptyServerSucceedAtOnce) {
    LogInFresh();
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    EXPECT_EQ(store.exec(), kIdOk);
    EXPECT_EQ(LastText(), msg::kStoreDone);
    EXPECT_EQ(store.Text(), msg::kReadingData);  // no batch was sent

    // A restore never deletes: the local contact the server lacks stays.
    ASSERT_EQ(MergeContacts({test::ChineseContact(7)}), 1);
    CZPWaittingDlg restore(CZPWaittingDlg::kRestore, client());
    EXPECT_EQ(restore.exec(), kIdOk);
    EXPECT_EQ(LastText(), msg::kRestoreDone);
    std::vector<CRelData> local;
    EXPECT_EQ(CDataAccess().LoadContacts(local), 1);
}

TEST_F(WaittingDlgTest, ContactTooLargeForAPacketEndsTheStoreNamingIt) {
    LogInFresh();
    CRelData huge = test::ChineseContact(1);
    for (const FieldSpec& field : kRelFields) {
        if (std::string_view(field.name) == "GroupName") continue;
        std::string text(field.width - 1, 'x');
        SetField(FieldPtr(&huge, field), field.width, text);
    }
    SetFieldUtf8(huge.RelName, "巨大联系人");
    ASSERT_EQ(MergeContacts({huge}), 1);
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    EXPECT_EQ(store.exec(), kIdCancel);
    EXPECT_TRUE(LastText().contains(QStringLiteral("巨大联系人"))) << LastText().toStdString();
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconError);
}

TEST_F(WaittingDlgTest, CancelEndsTheWindowWithoutAMessage) {
    LogInFresh();
    // Enough batches that the window sees the first count long before the last batch goes
    // out: a cancel after that one truthfully reports the finished store instead.
    std::vector<CRelData> many;
    for (int i = 0; i < 5000; ++i) many.push_back(test::ChineseContact(i));
    ASSERT_EQ(MergeContacts(many), 5000);
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    QObject::connect(&store, &CZPWaittingDlg::progressed,
                     [&](int) { store.OnSkinButton(CZPWaittingDlg::kCodeCancel); });
    EXPECT_EQ(store.exec(), kIdCancel);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    EXPECT_FALSE(store.Worker().IsRunning());
}

TEST_F(WaittingDlgTest, ACancelAfterTheLastBatchReportsTheFinishedStore) {
    LogInFresh();
    std::vector<CRelData> few;
    for (int i = 0; i < 10; ++i) few.push_back(test::ChineseContact(i));
    ASSERT_EQ(MergeContacts(few), 10);
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client());
    // The cancel comes once the worker is done, before its outcome reached the window.
    QTimer::singleShot(0, &store, [&] {
        for (int i = 0; i < 10000 && store.Worker().IsRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        store.OnSkinButton(CZPWaittingDlg::kCodeCancel);
    });
    EXPECT_EQ(store.exec(), kIdOk);
    EXPECT_EQ(LastText(), msg::kStoreDone);
    std::uint32_t count = 0;
    ASSERT_TRUE(client().ContactCount(count));
    EXPECT_EQ(count, 10u);
}

TEST_F(WaittingDlgTest, AWaitThatRunsOutStopsEvenARequestThatAskedToFinish) {
    LogInFresh();
    ASSERT_EQ(::kill(server().pid(), SIGSTOP), 0);
    QObject window;
    CZPWorkerRunner runner;
    std::atomic<bool> blocked{false};
    runner.Start(&window,
                 [&](const std::atomic<bool>&) {
                     std::uint32_t count = 0;
                     client().HoldAborts(true);
                     blocked = true;
                     const bool ok = client().ContactCount(count);
                     client().HoldAborts(false);
                     return ok;
                 },
                 {});
    while (!blocked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(runner.Cancel(&client(), 300));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ::kill(server().pid(), SIGCONT);
}

TEST_F(WaittingDlgTest, CancelStopsARestoreBlockedOnASilentServer) {
    LogInFresh();
    ASSERT_EQ(::kill(server().pid(), SIGSTOP), 0);
    CZPWaittingDlg restore(CZPWaittingDlg::kRestore, client());
    // Cancel once the window runs; the worker is blocked waiting for the server's reply.
    QTimer::singleShot(0, &restore, [&] { restore.OnSkinButton(CZPWaittingDlg::kCodeCancel); });
    EXPECT_EQ(restore.exec(), kIdCancel);
    EXPECT_FALSE(restore.Worker().IsRunning());
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    ::kill(server().pid(), SIGCONT);
}

}  // namespace
