#include "JobQueue.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"

#include <gtest/gtest.h>

using db::DbError;

namespace {

class Snapshot : public ::testing::Test {
protected:
    void SetUp() override {
        database = dbtest::TestDatabase::Create(dbtest::Backend::SQLite);
        cn.SetConnectionString(database->ConnectionString());
        dbtest::QueueJob(cn, {.posto = 1,
                              .cartao = 11,
                              .titulo = 1,
                              .palavrachave = QStringLiteral("um"),
                              .dados = QStringLiteral("primeiro")});
        dbtest::QueueJob(cn, {.posto = 1,
                              .cartao = 12,
                              .titulo = 0,
                              .palavrachave = QStringLiteral("dois"),
                              .dados = QStringLiteral("segundo")});
        dbtest::QueueJob(cn, {.posto = 1, .cartao = 13});
        q = std::make_unique<db::TDbQuery>(&cn);
        q->SetSQL({QStringLiteral("SELECT * FROM printer"), QStringLiteral("ORDER BY id")});
    }
    void Run(const char* sql) {
        db::TDbCommand c(&cn);
        c.SetSQL({QString::fromUtf8(sql)});
        c.Execute();
    }

    std::unique_ptr<dbtest::TestDatabase> database;
    db::TDbConnection cn;
    std::unique_ptr<db::TDbQuery> q;
};

TEST_F(Snapshot, NavigationSetsTheEndFlags) {
    q->Open();
    ASSERT_EQ(q->RecordCount(), 3);
    EXPECT_TRUE(q->Bof());
    EXPECT_FALSE(q->Eof());
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("cartao")), 11);
    q->Prior();
    EXPECT_TRUE(q->Bof());
    EXPECT_EQ(q->RecNo(), 0);
    q->Next();
    q->Next();
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("CARTAO")), 13);
    EXPECT_FALSE(q->Eof());
    q->Next();
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->RecNo(), 2);
    q->Prior();
    EXPECT_FALSE(q->Eof());
    EXPECT_EQ(q->RecNo(), 1);
    q->First();
    EXPECT_TRUE(q->Bof());
    q->Last();
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->RecNo(), 2);
    q->SetRecNo(1);
    EXPECT_EQ(q->FieldAsString(QStringLiteral("dados")), QStringLiteral("segundo"));
    EXPECT_THROW(q->SetRecNo(3), DbError);
}

TEST_F(Snapshot, NullsReadAsZeroAndEmptyText) {
    q->Open();
    q->Last();
    EXPECT_TRUE(q->FieldIsNull(QStringLiteral("titulo")));
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("titulo")), 0);
    EXPECT_EQ(q->FieldAsString(QStringLiteral("palavrachave")), QString());
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("gaveta")), 0);
    EXPECT_FALSE(q->FieldAsDateTime(QStringLiteral("dados")).isValid());
    try {
        q->FieldAsInteger(QStringLiteral("nada"));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_STREQ(e.what(), "Field 'nada' not found");
    }
    q->First();
    EXPECT_THROW(q->FieldAsInteger(QStringLiteral("dados")), DbError); // "primeiro"
}

TEST_F(Snapshot, IsATakenCopyThatNeedsReopening) {
    q->Open();
    dbtest::QueueJob(cn, {.posto = 2});
    EXPECT_EQ(q->RecordCount(), 3);
    q->Close();
    EXPECT_THROW(q->First(), DbError);
    EXPECT_THROW(q->FieldAsString(QStringLiteral("dados")), DbError);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 4);
    // Changing the text closes the query.
    q->SetSQL({QStringLiteral("SELECT * FROM printer WHERE posto = :posto")});
    EXPECT_FALSE(q->Active());
    q->ParamByName(QStringLiteral("posto")).SetValue(9);
    q->Open();
    EXPECT_TRUE(q->IsEmpty());
    EXPECT_TRUE(q->Eof());
    EXPECT_TRUE(q->Bof());
    EXPECT_EQ(q->RecNo(), -1);
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("id")), 0);
    EXPECT_THROW(q->DeleteCurrent(), DbError);
}

TEST_F(Snapshot, DeleteCurrentRemovesTheRowByItsKey) {
    q->Open();
    q->Next();
    q->DeleteCurrent();
    EXPECT_EQ(q->RecordCount(), 2);
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("cartao")), 13);
    q->DeleteCurrent(); // the last row: the position moves back to the new last row
    EXPECT_EQ(q->FieldAsInteger(QStringLiteral("cartao")), 11);
    q->Close();
    q->Open();
    EXPECT_EQ(q->RecordCount(), 1);
    // Deleted meanwhile by someone else: the snapshot is kept and the caller told.
    Run("DELETE FROM printer");
    EXPECT_THROW(q->DeleteCurrent(), DbError);
    EXPECT_EQ(q->RecordCount(), 1);
}

TEST_F(Snapshot, DeleteCurrentIsRefusedForJoinedRows) {
    q->SetSQL({QStringLiteral("SELECT p.id, h.id FROM printer p JOIN historico h ON p.id = h.id")});
    q->Open();
    q->SetSQL({QStringLiteral("SELECT a.id FROM printer a, printer b WHERE a.id = b.id")});
    q->Open();
    try {
        q->DeleteCurrent();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("single table"), std::string::npos);
    }
}

} // namespace
