#pragma once
// The standard behaviours, one object each for the whole process; the registry
// (behavior.cpp) creates them on its first use. Internal to htmlview/.

#include "htmlview/behavior.h"

namespace zv {

behavior& tabsBehavior();
behavior& expandableListBehavior();
behavior& collapsibleListBehavior();
behavior& gridBehavior();
behavior& sortableGridBehavior();
behavior& selGridBehavior();
behavior& xFormBehavior();
behavior& logViewBehavior();

}  // namespace zv
