#include "PlanDatabase/transactions/TransactionName.hh"

#include <tinyxml.h>

#include <string_view>
#include <unordered_map>

namespace KADRIX {

  TransactionName transactionName(const char* text) {
    static const std::unordered_map<std::string_view, TransactionName> s_names = {
        {"activate", TransactionName::ACTIVATE},
        {"merge", TransactionName::MERGE},
        {"reject", TransactionName::REJECT},
        {"cancel", TransactionName::CANCEL},
        {"constrain", TransactionName::CONSTRAIN},
        {"free", TransactionName::FREE},
        {"specify", TransactionName::SPECIFY},
        {"reset", TransactionName::RESET},
        {"restrict", TransactionName::RESTRICT},
        {"assign", TransactionName::ASSIGN},
        {"var", TransactionName::VAR},
        {"new", TransactionName::NEW},
        {"goal", TransactionName::GOAL},
        {"fact", TransactionName::FACT},
        {"deletetoken", TransactionName::DELETETOKEN},
        {"deleteconstraint", TransactionName::DELETECONSTRAINT},
        {"invoke", TransactionName::INVOKE}};
    if (text == nullptr)
      return TransactionName::OTHER;
    const auto found = s_names.find(text);
    return found == s_names.end() ? TransactionName::OTHER : found->second;
  }

  ElementNames::ElementNames(const TiXmlElement& element)
    : tag(transactionName(element.Value())),
      transaction(tag == TransactionName::INVOKE ? transactionName(element.Attribute("name")) : tag) {}

}
