// Object variables: variables over the objects of a type, kept in step with its objects.
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectVariableListener.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"

#include <algorithm>
#include <set>

// Part of PlanDatabase: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/PlanDatabase.cc"

namespace KADRIX {

  void PlanDatabase::makeObjectVariableFromType(const LabelStr& objectType,
                                                const ConstrainedVariableId& objectVar, bool leaveOpen) {
    const ObjectsOfType& objects = objectsOfType(objectType);
    KADRIX_CHECK(objectVar.isValid());
    KADRIX_CHECK(!objectVar->isClosed());
    // One sorted pass fills the domains: one at a time would cost a pass per object.
    objectVar->insertAll(objects.values);
    for (std::vector<ObjectId>::const_iterator it = objects.objects.begin(); it != objects.objects.end();
         ++it) {
      const ObjectId& object = *it;
      KADRIX_DEBUG("PlanDatabase:makeObjectVariable", "Inserting object "
                                                          << object->getName().toString() << " of type "
                                                          << object->getType().toString() << " for base type "
                                                          << objectType.toString());
    }
    handleObjectVariableCreation(objectType, objectVar, leaveOpen);
  }

  const PlanDatabase::ObjectsOfType& PlanDatabase::objectsOfType(const LabelStr& type) {
    KADRIX_CHECK_MSG(m_schema->isObjectType(type), type.toString());
    std::unordered_map<double, ObjectsOfType>::const_iterator found =
        m_objectsOfTypeCache.find(type.getKey());
    if (found != m_objectsOfTypeCache.end())
      return found->second;
    std::list<ObjectId> objects;
    getObjectsByType<ObjectId>(type, objects);
    ObjectsOfType& gathered = m_objectsOfTypeCache[type.getKey()];
    gathered.objects.reserve(objects.size());
    gathered.values.reserve(objects.size());
    for (std::list<ObjectId>::const_iterator it = objects.begin(); it != objects.end(); ++it) {
      const ObjectId& object = *it;
      KADRIX_CHECK(object.isValid());
      gathered.objects.push_back(object);
      gathered.values.push_back(static_cast<double>(object));
    }
    std::sort(gathered.values.begin(), gathered.values.end());
    return gathered;
  }

  void PlanDatabase::handleObjectVariableCreation(const LabelStr& objectType,
                                                  const ConstrainedVariableId& objectVar, bool leaveOpen) {
    if (isClosed(objectType)) {
      if (!leaveOpen)
        objectVar->close();
      return;
    }
    // A variable is kept in step once, however often it is made an object variable.
    const double key = objectType.getKey();
    std::vector<ObjectVariableMap::iterator>& entries =
        m_objectVariableEntries[static_cast<const ConstrainedVariable*>(objectVar)];
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i]->first == key && entries[i]->second.first == objectVar)
        return;
    ObjectVariableListener* listener = new ObjectVariableListener(objectVar, m_id);
    entries.push_back(m_objectVariablesByObjectType.insert(
        std::make_pair(key, ObjectVariableEntry(objectVar, listener->getId()))));
  }

  void PlanDatabase::eraseObjectVariableEntry(ObjectVariableMap::iterator it) {
    const ConstrainedVariable* var = static_cast<const ConstrainedVariable*>(it->second.first);
    std::unordered_map<const ConstrainedVariable*, std::vector<ObjectVariableMap::iterator> >::iterator
        found = m_objectVariableEntries.find(var);
    if (found != m_objectVariableEntries.end()) {
      std::vector<ObjectVariableMap::iterator>& entries = found->second;
      for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == it) {
          entries.erase(entries.begin() + i);
          break;
        }
      if (entries.empty())
        m_objectVariableEntries.erase(found);
    }
    m_objectVariablesByObjectType.erase(it);
  }

  void PlanDatabase::handleObjectVariableDeletion(const ConstrainedVariableId& objectVar) {
    // Every entry of the variable goes; the listener being deleted may be the caller.
    std::unordered_map<const ConstrainedVariable*, std::vector<ObjectVariableMap::iterator> >::iterator
        found = m_objectVariableEntries.find(static_cast<const ConstrainedVariable*>(objectVar));
    if (found == m_objectVariableEntries.end())
      return;
    // Entries left by an earlier variable at the same address stay where they are.
    std::vector<ObjectVariableMap::iterator> entries;
    std::vector<ObjectVariableMap::iterator>& all = found->second;
    for (size_t i = 0; i < all.size();)
      if (all[i]->second.first == objectVar) {
        entries.push_back(all[i]);
        all.erase(all.begin() + i);
      } else
        ++i;
    if (all.empty())
      m_objectVariableEntries.erase(found);
    for (size_t i = 0; i < entries.size(); ++i) {
      const ConstrainedVariableListenerId listener = entries[i]->second.second;
      m_objectVariablesByObjectType.erase(entries[i]);
      if (listener.isValid())
        delete static_cast<ConstrainedVariableListener*>(listener);
    }
  }

  std::pair<ConstrainedVariableId, ObjectId> PlanDatabase::holderOf(const std::vector<ObjectId>& objects) const {
    std::set<EntityId> owners;
    std::set<ConstrainedVariableId> selves;
    for (const ObjectId& object : objects) {
      owners.insert(object);
      selves.insert(object->getThis());
    }
    const auto keptInStep = [this](const ConstrainedVariableId& var) {
      const EntityId& parent = var->parent();
      if (TokenId::convertable(parent) && TokenId(parent)->getObject() == var)
        return true;
      return m_objectVariableEntries.find(static_cast<const ConstrainedVariable*>(var)) !=
             m_objectVariableEntries.end();
    };
    const unsigned int slots = m_constraintEngine->variableSlotCount();
    for (unsigned int i = m_constraintEngine->nextEntitySlot(0); i < slots;
         i = m_constraintEngine->nextEntitySlot(i + 1)) {
      const ConstrainedVariableId& var = m_constraintEngine->getVariable(i);
      if (var.isNoId() || owners.count(var->parent()) != 0 || selves.count(var) != 0)
        continue;
      for (const ObjectId& object : objects) {
        const double value = static_cast<double>(object);
        if (var->baseDomain().isMember(value) &&
            (!keptInStep(var) || (var->isSpecified() && var->getSpecifiedValue() == value)))
          return std::make_pair(var, object);
      }
    }
    return std::make_pair(ConstrainedVariableId::noId(), ObjectId::noId());
  }

}
