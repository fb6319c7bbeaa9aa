[VIEWS]
VIEWS=Large
[Large]
ZOOM=150
