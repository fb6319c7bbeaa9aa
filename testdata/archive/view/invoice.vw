[VIEWS]
VIEWS=Standard
[Standard]
ZOOM=100
