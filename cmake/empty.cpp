// Keeps a layer library buildable before its first source lands.
