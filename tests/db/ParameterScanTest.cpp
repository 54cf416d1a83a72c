#include "ParameterScan.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"

#include <gtest/gtest.h>

using db::ScanParameters;

namespace {

QStringList Markers(const QString& sql) {
    return ScanParameters(sql).markers;
}

TEST(ParameterScan, ReplacesMarkersInOrder) {
    const auto s = ScanParameters(
        QStringLiteral("INSERT INTO historico (datahora, id)\nVALUES (:datahora, :id)"));
    EXPECT_EQ(s.text, QStringLiteral("INSERT INTO historico (datahora, id)\nVALUES (?, ?)"));
    EXPECT_EQ(s.markers, (QStringList{"datahora", "id"}));
    EXPECT_EQ(s.markerAt, (QList<qsizetype>{45, 48}));
}

TEST(ParameterScan, EveryDelimiterEndsAName) {
    const auto s = ScanParameters(QStringLiteral("f(:a,:b;:c)\r:d\n:e :f"));
    EXPECT_EQ(s.markers, (QStringList{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(s.text, QStringLiteral("f(?,?;?)\r?\n? ?"));
    // "=", "(" and tabs are not delimiters: they stay part of the name.
    EXPECT_EQ(Markers(QStringLiteral("id=:id=1")), QStringList{"id=1"});
    EXPECT_EQ(Markers(QStringLiteral(":a\tb")), QStringList{"a\tb"});
}

TEST(ParameterScan, NothingInsideLiteralsIsAMarker) {
    const QString sql =
        QStringLiteral("SELECT ':no', \"x:no\", `y:no`, 'it\"s :no' FROM t WHERE a = :yes");
    const auto s = ScanParameters(sql);
    EXPECT_EQ(s.markers, QStringList{"yes"});
    EXPECT_EQ(s.text, QString(sql).replace(QStringLiteral(":yes"), QStringLiteral("?")));
    // A doubled quote inside a literal closes and reopens it: still no marker.
    EXPECT_TRUE(Markers(QStringLiteral("'a'':b'")).isEmpty());
    // An unterminated literal runs to the end.
    EXPECT_TRUE(Markers(QStringLiteral("WHERE a = 'x :b")).isEmpty());
}

TEST(ParameterScan, CommentsAreKeptAndHoldNoMarkers) {
    const QString sql = QStringLiteral("SELECT :a -- :b, 'unclosed\n, /* :c /* :d */ :e */ :f"
                                       " /* ' */ :g --");
    const auto s = ScanParameters(sql);
    EXPECT_EQ(s.markers, (QStringList{"a", "f", "g"}));
    EXPECT_EQ(s.text, QStringLiteral("SELECT ? -- :b, 'unclosed\n, /* :c /* :d */ :e */ ?"
                                     " /* ' */ ? --"));
    for (qsizetype at : s.markerAt)
        EXPECT_EQ(s.text.at(at), u'?');
    // Comment marks inside literals, and a lone "-" or "/", start nothing.
    EXPECT_EQ(Markers(QStringLiteral("SELECT '--', \"/*\", 5-:a, 6/:b")), (QStringList{"a", "b"}));
    // An unclosed block comment runs to the end.
    EXPECT_TRUE(Markers(QStringLiteral("SELECT 1 /* :a")).isEmpty());
}

TEST(ParameterScan, DoubleColonIsALiteralColon) {
    const auto s = ScanParameters(QStringLiteral("SELECT a::int, '::' FROM t WHERE b = :b"));
    EXPECT_EQ(s.text, QStringLiteral("SELECT a:int, '::' FROM t WHERE b = ?"));
    EXPECT_EQ(s.markers, QStringList{"b"});
    // ":::x" is a literal colon followed by a marker.
    EXPECT_EQ(ScanParameters(QStringLiteral(":::x")).text, QStringLiteral(":?"));
}

TEST(ParameterScan, QuotedNamesHoldDelimitersAndLoseTheirQuotes) {
    const auto s = ScanParameters(QStringLiteral("VALUES (:\"first name\", :'a,b;c)', :`x`)"));
    EXPECT_EQ(s.markers, (QStringList{"first name", "a,b;c)", "x"}));
    EXPECT_EQ(s.text, QStringLiteral("VALUES (?, ?, ?)"));
}

TEST(ParameterScan, LoneColonIsKeptAsText) {
    const auto s = ScanParameters(QStringLiteral("a : b, c:"));
    EXPECT_TRUE(s.markers.isEmpty());
    EXPECT_EQ(s.text, QStringLiteral("a : b, c:"));
}

TEST(StatementParameters, ByNameWithoutRegardToCase) {
    db::TDbConnection cn;
    db::TDbCommand c(&cn);
    c.SetSQL({QStringLiteral("DELETE FROM printer WHERE id=:Id")});
    ASSERT_EQ(c.ParamCount(), 1);
    c.ParamByName(QStringLiteral("ID")).SetValue(7);
    EXPECT_EQ(c.Param(0).Name, QStringLiteral("Id"));
    EXPECT_EQ(c.Param(0).Value.toInt(), 7);
    EXPECT_EQ(c.ParsedSQL(), QStringLiteral("DELETE FROM printer WHERE id=?"));
    try {
        c.ParamByName(QStringLiteral("posto"));
        FAIL() << "no error for an unknown parameter";
    } catch (const db::DbError& e) {
        EXPECT_STREQ(e.what(), "Parameter 'posto' not found");
    }
}

TEST(StatementParameters, ValuesCarryOverByNameWhenTheTextChanges) {
    db::TDbConnection cn;
    db::TDbCommand c(&cn);
    c.SetSQL({QStringLiteral("SELECT * FROM t"), QStringLiteral("WHERE a = :a AND b = :b")});
    auto& a = c.ParamByName(QStringLiteral("a"));
    a.DataType = db::FieldType::ftString;
    a.Size = 50;
    a.SetValue(QStringLiteral("kept"));
    c.ParamByName(QStringLiteral("b")).SetValue(2);
    c.SetSQL({QStringLiteral("SELECT * FROM t WHERE c = :c AND A = :A")});
    ASSERT_EQ(c.ParamCount(), 2);
    EXPECT_EQ(c.Param(0).Name, QStringLiteral("c"));
    EXPECT_FALSE(c.Param(0).Value.isValid());
    EXPECT_EQ(c.Param(1).Name, QStringLiteral("A"));
    EXPECT_EQ(c.Param(1).Value.toString(), QStringLiteral("kept"));
    EXPECT_EQ(c.Param(1).DataType, db::FieldType::ftString);
    EXPECT_EQ(c.Param(1).Size, 50);
    EXPECT_EQ(c.FindParam(QStringLiteral("b")), nullptr);
    EXPECT_EQ(c.SQL(), QStringList{QStringLiteral("SELECT * FROM t WHERE c = :c AND A = :A")});
}

TEST(StatementParameters, RepeatedNameSharesOneParameter) {
    db::TDbConnection cn;
    db::TDbCommand c(&cn);
    c.SetSQL({QStringLiteral("SELECT :x, :X")});
    EXPECT_EQ(c.ParamCount(), 1);
    EXPECT_EQ(c.ParsedSQL(), QStringLiteral("SELECT ?, ?"));
}

TEST(StatementParameters, LongStringEnlargesTheParameter) {
    db::TDbParameter p;
    p.DataType = db::FieldType::ftString;
    p.Size = 510;
    p.SetValue(QString(2000, u'x'));
    EXPECT_EQ(p.Size, 2000);
    EXPECT_EQ(p.Value.toString().size(), 2000);
}

} // namespace
