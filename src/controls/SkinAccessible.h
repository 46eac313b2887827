#pragma once

namespace brevant {

// Lets screen readers see the skinned controls as the buttons, check boxes and radio buttons
// they are: role, name from the caption (without the access-key &), check state, and the
// press or toggle action. Safe to call more than once.
void installSkinAccessibleFactory();

} // namespace brevant
