namespace driver {}
