// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/mnemonics.h"

#include <QTest>

class TestMnemonics : public QObject
{
    Q_OBJECT

private slots:
    void assign_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("first free letters") << QStringList{"Font...", "Find", "Word wrap"}
                                            << QStringList{"&Font...", "F&ind", "&Word wrap"};
        QTest::newRow("a given one is kept and avoided")
            << QStringList{"Fond", "E&xit", "&Font"} << QStringList{"F&ond", "E&xit", "&Font"};
        QTest::newRow("case-blind, literal && skipped")
            << QStringList{"a&&b", "A"} << QStringList{"&a&&b", "A"};
        QTest::newRow("no letter left")
            << QStringList{"ab", "ba", "ab"} << QStringList{"&ab", "&ba", "ab"};
    }
    void assign()
    {
        QFETCH(QStringList, captions);
        QFETCH(QStringList, expected);
        QCOMPARE(mnemonics::assign(captions), expected);
    }
};

QTEST_GUILESS_MAIN(TestMnemonics)
#include "tst_mnemonics.moc"
