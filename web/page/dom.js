// The page's elements by id: the one lookup every module uses.
export const byId = (id) => document.getElementById(id);
