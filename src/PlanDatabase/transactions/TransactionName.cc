#include "PlanDatabase/transactions/TransactionName.hh"

#include <tinyxml.h>

#include <cstring>
#include <utility>

namespace KADRIX {

  TransactionName transactionName(const char* text) {
    static const std::pair<const char*, TransactionName> s_names[] = {
        {"breakpoint", TransactionName::BREAKPOINT},
        {"class_decl", TransactionName::CLASS_DECL},
        {"class", TransactionName::CLASS},
        {"enum", TransactionName::ENUM},
        {"typedef", TransactionName::TYPEDEF},
        {"compat", TransactionName::COMPAT},
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
        {"deletevar", TransactionName::DELETEVAR},
        {"new", TransactionName::NEW},
        {"deleteobject", TransactionName::DELETEOBJECT},
        {"goal", TransactionName::GOAL},
        {"fact", TransactionName::FACT},
        {"deletetoken", TransactionName::DELETETOKEN},
        {"deleteconstraint", TransactionName::DELETECONSTRAINT},
        {"invoke", TransactionName::INVOKE}};
    if (text == nullptr)
      return TransactionName::OTHER;
    // The first letters tell most names apart before any text is compared.
    for (const std::pair<const char*, TransactionName>& name : s_names)
      if (name.first[0] == text[0] && std::strcmp(name.first, text) == 0)
        return name.second;
    return TransactionName::OTHER;
  }

  ElementNames::ElementNames(const TiXmlElement& element)
    : tag(transactionName(element.Value())),
      transaction(tag == TransactionName::INVOKE ? transactionName(element.Attribute("name")) : tag) {}

}
