// The player's token transactions: "goal" and "fact" create a token,
// "deletetoken" deletes one, "activate", "merge", "reject" and "cancel" change
// a token's state, "constrain" and "free" order two tokens on an object.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <tinyxml.h>

#include <cstring>

// Part of DbClientTransactionPlayer: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/transactions/DbClientTransactionPlayer.cc"

namespace KADRIX {

  namespace {

    /**
     * The token of an "activate", "merge", "reject" or "cancel" element's
     * "invoke" form: the token created under the "identifier" (empty handle when
     * none was). Looking it up never enters the name in the table.
     */
    TokenId invokedToken(const std::map<std::string, TokenId>& tokens, const TiXmlElement& element) {
      KADRIX_CHECK(element.Attribute("identifier") != NULL);
      std::map<std::string, TokenId>::const_iterator it = tokens.find(element.Attribute("identifier"));
      return it == tokens.end() ? TokenId::noId() : it->second;
    }

    /**
     * The token whose state an "activate", "reject" or "cancel" element
     * changes, by either form; of a "merge" (undone by cancelling it), the
     * merged token, read as playing the merge reads it.
     */
    TokenId changedToken(DbClientTransactionPlayer& player, const std::map<std::string, TokenId>& tokens,
                         const TiXmlElement& element) {
      if (DbClientTransactionPlayer::isInvoke(element))
        return invokedToken(tokens, element);
      const TiXmlElement* token_el = strcmp(element.Value(), "merge") == 0
                                         ? element.FirstChildElement("token")
                                         : element.FirstChildElement();
      KADRIX_CHECK(token_el != NULL);
      return player.xmlAsToken(*token_el);
    }

  }

  void DbClientTransactionPlayer::playTokenCreated(const TiXmlElement& element) {
    if (element.Attribute("relation") != NULL) {
      playTemporalRelationCreated(element);
      return;
    }
    const TiXmlElement* child = element.FirstChildElement();
    KADRIX_CHECK(child != NULL);
    const char* type = child->Attribute("type");
    KADRIX_CHECK(type != NULL);
    const char* mandatory = element.Attribute("mandatory");
    const bool rejectable = mandatory == NULL || strcmp(mandatory, "true") != 0;
    createToken(child->Attribute("name"), type, rejectable, false);
  }

  void DbClientTransactionPlayer::playFactCreated(const TiXmlElement& element) {
    const TiXmlElement* child = element.FirstChildElement();
    KADRIX_CHECK(child != NULL);
    const char* type = child->Attribute("type");
    KADRIX_CHECK(type != NULL);
    createToken(child->Attribute("name"), type, false, true);
  }

  TokenId DbClientTransactionPlayer::createToken(const char* name, const char* type, bool rejectable,
                                                 bool isFact) {
    ObjectId object;
    const char* predicate = getObjectAndType(m_client, type, object);
    TokenId token = m_client->createToken(predicate, rejectable, isFact);
    // A type given as a path names the object: the restriction goes through
    // the client, so a log recording this play records it too.
    if (!object.isNoId())
      m_client->restrict(token->getObject(), object->getThis()->baseDomain());
    if (name != NULL) {
      TokenId& entry = m_tokens[name];
      if (entry.isValid())
        m_shadowedTokens[name].push_back(entry);
      entry = token;
    }
    KADRIX_DEBUG("DbClientTransactionPlayer:createToken",
                 "created Token:" << (name != NULL ? name : "NO_NAME_DBCTP") << " of type " << predicate
                                  << " isFact:" << (isFact ? 1 : 0));
    return token;
  }

  void DbClientTransactionPlayer::playTokenDeleted(const TiXmlElement& element) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playTokenDeleted", "Rewinding " << element);
    if (element.Attribute("relation") != NULL) {
      playTemporalRelationDeleted(element);
      return;
    }
    // A "goal" or "fact" names its token in its first child, whatever its tag,
    // as playing read it; a "deletetoken" as the log writes it carries "path"
    // and an optional "name" itself.
    const bool created = strcmp(element.Value(), "deletetoken") != 0;
    const TiXmlElement* child =
        created ? element.FirstChildElement() : element.FirstChildElement("predicateinstance");
    if (child == NULL && !created)
      child = &element;
    KADRIX_CHECK(child != NULL);
    const char* name = child->Attribute("name");
    const char* pathStr = child->Attribute("path");
    if (child != &element && !created)
      KADRIX_CHECK(name != NULL);

    std::map<std::string, TokenId>::iterator entry = name != NULL ? m_tokens.find(name) : m_tokens.end();
    TokenId tok;
    if (entry != m_tokens.end())
      tok = entry->second;
    else if (created)
      tok = madeToken(*child, element);
    else {
      KADRIX_CHECK(pathStr != NULL);
      tok = m_client->getTokenByPath(pathAsVector(pathStr));
    }
    KADRIX_CHECK(tok.isValid());
    m_client->checkDeleteToken(tok);
    deleteConstraintsOn(tok->getVariables());
    m_client->deleteToken(tok, "");
    // Forgotten only once deleted: a refused deletion keeps the name. Undoing
    // a "goal" or "fact" gives the name back to the token that had it before,
    // if still there; a "deletetoken" leaves the name to nothing.
    if (entry != m_tokens.end() && entry->second == tok) {
      m_tokens.erase(entry);
      if (!created)
        return;
      std::map<std::string, std::vector<TokenId> >::iterator shadowed = m_shadowedTokens.find(name);
      while (shadowed != m_shadowedTokens.end() && !shadowed->second.empty()) {
        const TokenId earlier = shadowed->second.back();
        shadowed->second.pop_back();
        if (earlier.isValid()) {
          m_tokens[name] = earlier;
          break;
        }
      }
      if (shadowed != m_shadowedTokens.end() && shadowed->second.empty())
        m_shadowedTokens.erase(shadowed);
    }
  }

  TokenId DbClientTransactionPlayer::madeToken(const TiXmlElement& instance, const TiXmlElement& element) {
    // Playing a goal does not read a "path": everything made after the goal
    // has been undone, so its token is the newest root (as a log's path says).
    const TokenId token = m_client->getNewestRootToken();
    const char* type = instance.Attribute("type");
    ObjectId object;
    KADRIX_CHECK_MSG(token.isValid() && type != NULL &&
                         token->getPredicateName() == LabelStr(getObjectAndType(m_client, type, object)),
                     "The newest token was not made by " << element);
    return token;
  }

  void DbClientTransactionPlayer::playActivated(const TiXmlElement& element) {
    TokenId token = changedToken(*this, m_tokens, element);
    KADRIX_CHECK(token.isValid());
    if (!token->isActive())
      m_client->activate(token);
  }

  void DbClientTransactionPlayer::playRejected(const TiXmlElement& element) {
    TokenId token = changedToken(*this, m_tokens, element);
    KADRIX_CHECK(token.isValid());
    m_client->reject(token);
  }

  void DbClientTransactionPlayer::playCancelled(const TiXmlElement& element) {
    TokenId token = changedToken(*this, m_tokens, element);
    KADRIX_CHECK(token.isValid());
    m_client->cancel(token);
  }

  void DbClientTransactionPlayer::playMerged(const TiXmlElement& element) {
    TokenId token;
    const TiXmlElement* active_el;
    if (isInvoke(element)) {
      token = invokedToken(m_tokens, element);
      active_el = element.FirstChildElement("token");
    } else {
      const TiXmlElement* token_el = element.FirstChildElement("token");
      KADRIX_CHECK(token_el != NULL);
      token = xmlAsToken(*token_el);
      active_el = token_el->NextSiblingElement("token");
    }
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK_MSG(active_el != NULL, "Active element required for merge.");
    TokenId active_token = xmlAsToken(*active_el);
    KADRIX_CHECK(active_token.isValid());
    m_client->merge(token, active_token);
  }

  void DbClientTransactionPlayer::getElementsFromConstrain(const TiXmlElement& element, ObjectId& object,
                                                           TokenId& predecessor, TokenId& successor) {
    if (isInvoke(element)) {
      KADRIX_CHECK(element.Attribute("identifier") != NULL);
      object = m_client->getObject(element.Attribute("identifier"));
    } else {
      const TiXmlElement* object_el = element.FirstChildElement("object");
      KADRIX_CHECK(object_el != NULL && object_el->Attribute("name") != NULL);
      object = m_client->getObject(object_el->Attribute("name"));
    }
    KADRIX_CHECK(object.isValid());

    const TiXmlElement* token = element.FirstChildElement("token");
    if (token == NULL)
      token = element.FirstChildElement("id");
    KADRIX_CHECK(token != NULL);
    // A token element gives its token by path, else by the name it was created under.
    auto read = [this](const TiXmlElement* ref) {
      if (ref->Attribute("path") != NULL)
        return xmlAsToken(*ref);
      KADRIX_CHECK_TEXT(ref->Attribute("name") != NULL, "token->Attribute(\"name\") != NULL", "");
      return parseToken(ref->Attribute("name"));
    };
    predecessor = read(token);
    KADRIX_CHECK(predecessor.isValid());
    successor = predecessor;
    const TiXmlElement* next = token->NextSiblingElement(token->Value());
    if (next != NULL)
      successor = read(next);
    KADRIX_CHECK(successor.isValid());
  }

  void DbClientTransactionPlayer::playConstrained(const TiXmlElement& element) {
    ObjectId object;
    TokenId predecessor, successor;
    getElementsFromConstrain(element, object, predecessor, successor);
    m_client->constrain(object, predecessor, successor);
  }

  void DbClientTransactionPlayer::playFreed(const TiXmlElement& element) {
    ObjectId object;
    TokenId predecessor, successor;
    getElementsFromConstrain(element, object, predecessor, successor);
    m_client->free(object, predecessor, successor);
  }

}
