#include "filter/ListingRules.h"

#include "filter/FilterPass.h"
#include "filter/RuleLine.h"

QStringList ListingRules::read(const QString &path)
{
    m_path = path;
    m_block = readRuleFile(path);
    return headersTestedBy(m_block.conditions);
}

QString ListingRules::apply(RecordStore &records, MessageListSink &list) const
{
    runFilterPass(records, list, m_block);
    return ruleProblemText(m_block, m_path);
}
