// Replaced as the app layer is built.
