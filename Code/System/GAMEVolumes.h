// The profile's three volume options (percent, 0..100) as the sound plays them: the master volume on the master
// category and the splash screens' movies, the music volume on the music category, the sound-effect volume on the
// effects and on the voice lines. Set when the load mode starts, when an option changes and on the return to the
// title. Main thread.
#pragma once

// Applies the profile's volumes; nothing while there is no profile.
void GAMESetCategoryVolumesFromProfile();
