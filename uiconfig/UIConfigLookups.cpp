#include "UIConfigLookups.h"

#include "ControlAction.h"

namespace {

// One level of a lookup, read without inserting.
template <typename Map>
const typename Map::mapped_type* findLevel(const Map& m, int key) {
  auto it = m.find(key);
  return it == m.end() ? nullptr : &it->second;
}

IControl* findLast(const ccControlMap& last, int key) {
  auto it = last.controls.find(key);
  return it == last.controls.end() ? nullptr : it->second;
}

IControl* findFive(const std::map<int, controlID1>& root, int k1, int k2, int k3, int k4, int k5) {
  const controlID1* l1 = findLevel(root, k1);
  if (!l1) return nullptr;
  const controlID2* l2 = findLevel(l1->map, k2);
  if (!l2) return nullptr;
  const controlID3* l3 = findLevel(l2->map, k3);
  if (!l3) return nullptr;
  const ccControlMap* l4 = findLevel(l3->map, k4);
  if (!l4) return nullptr;
  return findLast(*l4, k5);
}

// m[key], trying the end first: the keys of one page mostly come in ascending order, and a
// wrong guess costs one comparison before the usual search.
template <typename Map>
typename Map::mapped_type& at(Map& m, int key) {
  return m.try_emplace(m.end(), key)->second;
}

void addFive(std::map<int, controlID1>& root, int k1, int k2, int k3, int k4, int k5,
             IControl* control) {
  at(at(at(at(at(root, k1).map, k2).map, k3).map, k4).controls, k5) = control;
}

}  // namespace

bool sysexKeyBytes(const int* message, int size, int changingByte, unsigned char keys[4]) {
  const int first = changingByte == kPartlessChangingByte ? 2 : 3;
  if (!message || size < first + 4) return false;
  for (int i = 0; i < 4; ++i) keys[i] = static_cast<unsigned char>(message[first + i] & 0xFF);
  if (changingByte == kPartlessChangingByte) keys[0] = kNormalisedDeviceIdKey;
  return true;
}

void SysExControlContainer::addToControlMap(const unsigned char* keyBytes, unsigned char fifthKey,
                                            IControl* control) {
  if (!keyBytes) return;
  addFive(map, keyBytes[0], keyBytes[1], keyBytes[2], keyBytes[3], fifthKey, control);
}

IControl* SysExControlContainer::findControl(int k1, int k2, int k3, int k4, int k5) const {
  return findFive(map, k1, k2, k3, k4, k5);
}

void NRPNControlContainer::addToControlMap(const ControlAction* record, IControl* control) {
  if (!record) return;
  addFive(map, record->channel, record->msbValue, record->lsbValue, record->lsbControl,
          record->noPart, control);
}

IControl* NRPNControlContainer::findControl(int k1, int k2, int k3, int k4, int k5) const {
  return findFive(map, k1, k2, k3, k4, k5);
}

void CCControlContainer::addToControlMap(int channel, int ccNumber, int noPart, IControl* control) {
  at(at(at(map, channel).map, ccNumber).controls, noPart) = control;
}

IControl* CCControlContainer::findControl(int channel, int ccNumber, int noPart) const {
  const controlID3* l1 = findLevel(map, channel);
  if (!l1) return nullptr;
  const ccControlMap* l2 = findLevel(l1->map, ccNumber);
  if (!l2) return nullptr;
  return findLast(*l2, noPart);
}

int ProgramValueMap::get(int k1, int k2, int k3) const {
  const auto* l1 = findLevel(values, k1);
  if (!l1) return 0;
  const auto* l2 = findLevel(*l1, k2);
  if (!l2) return 0;
  const int* v = findLevel(*l2, k3);
  return v ? *v : 0;
}
