// The previewer's scene: the camera rig, the avatar in three coincident copies (a base
// copy with the skin images and two overlay copies for clothing layers), each region's
// brushes, the default images and the optional skirt; and the menu items that change it.
// Every engine call goes through the command set.
#pragma once

// The fixed files, relative to the working directory.
inline constexpr const char* kFemaleModel = "Tavren_Female.b3d";
inline constexpr const char* kMaleModel = "Tavren_Male.b3d";
inline constexpr const char* kSkirtModel = "Tavren_Skirt.b3d";
inline constexpr const char* kDefaultHeadImage = "HEAD.JPG";
inline constexpr const char* kDefaultUpperImage = "UPPER.JPG";
inline constexpr const char* kDefaultLowerImage = "LOWER.JPG";
inline constexpr const char* kDefaultSkirtImage = "SKIRT.JPG";

// The start scene and "New Scene": camera rig, every slot back to its default, the
// background to 130, 160, 255, the female avatar, the skirt hidden. Returns 0.
int Setup3D();
// Loads the avatar of the current gender three times and paints each copy's regions
// with the application's brushes. A region that no surface's texture name matches
// stays unpainted. Returns 0.
int LoadFigure();
// Loads and shows the skirt with the skirt slot's file. Returns 0.
int LoadSkirt();

// Menu items.
int ChooseBackgroundColor();  // colour chooser; a cancel changes nothing
int ToggleGender();           // "F" <-> "M", keeping every slot's image
int ToggleSkirt();            // shows or hides the skirt
