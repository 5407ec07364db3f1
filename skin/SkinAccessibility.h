// What screen readers learn of the skinned controls: links are links, the
// check box and radio buttons say whether they are ticked, and a picture grid
// is a list of its slots with the selected one marked.
#pragma once

// Makes the skinned controls known to the accessibility framework; calling
// it again does nothing.
void installSkinAccessibility();
